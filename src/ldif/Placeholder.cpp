// The LDIF source is built here.
