#pragma once
// Schemas that come from files rather than a server: the slapd.conf form
// ("attributetype ( ... )"), the cn=config LDIF form ("olcAttributeTypes:
// ( ... )", also a subschema entry's "attributeTypes: ( ... )"), the local
// slapd's schema folder, and the standard schemas built into the program.

#include "source/Schema.h"

#include <memory>

// Adds the definitions of one file's text to schema; the number of
// definitions that could not be read goes to pnFailed.
void ReadSchemaConf(const CString& text, CSchema& schema, int* pnFailed = nullptr);
void ReadSchemaLdif(const CString& text, CSchema& schema, int* pnFailed = nullptr);
// Either form, told apart by the file name's ending (".ldif" or not).
bool ReadSchemaFile(const CString& path, CSchema& schema, int* pnFailed = nullptr);

// Every *.ldif of the folder, or every *.schema when it holds no LDIF, then
// what the built-in set has and the files lack (slapd keeps the most basic
// definitions in its code, not in core); NULL when the folder holds neither
// kind of file. core comes first, the rest by name.
std::shared_ptr<const CSchema> LoadSchemaFolder(const CString& folder);
// RFC 4512, 4519, 4524, 2798 and 2307 (NIS), as written into the program.
std::shared_ptr<const CSchema> BuiltinSchema();
// The same definitions added to a schema (the first definition of an OID stays).
void AddBuiltinDefinitions(CSchema& schema);
// The local slapd's schema folder when there is one, else the built-in set.
std::shared_ptr<const CSchema> LocalSchema();

// Where slapd keeps its schema files on Debian.
inline const char* const kLocalSchemaFolder = "/etc/ldap/schema";
