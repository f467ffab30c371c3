// Qt implementations of the platform services are built here.
