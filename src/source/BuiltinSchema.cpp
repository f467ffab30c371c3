// The standard schemas, written from their RFCs: the subschema and the
// operational attributes of RFC 4512, the syntaxes and matching rules of RFC
// 4517, the user schema of RFC 4519, COSINE (RFC 4524), inetOrgPerson (RFC
// 2798) and NIS (RFC 2307). Used for LDIF files when the machine has no
// slapd schema folder.

#include "source/SchemaFiles.h"

namespace {

// In the slapd.conf form, read by ReadSchemaConf.
constexpr const char* kSyntaxes = R"(
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.3 DESC 'Attribute Type Description' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.5 DESC 'Binary' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.6 DESC 'Bit String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.7 DESC 'Boolean' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.8 DESC 'Certificate' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.9 DESC 'Certificate List' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.10 DESC 'Certificate Pair' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.11 DESC 'Country String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.12 DESC 'Distinguished Name' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.14 DESC 'Delivery Method' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.15 DESC 'Directory String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.16 DESC 'DIT Content Rule Description' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.21 DESC 'Enhanced Guide' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.22 DESC 'Facsimile Telephone Number' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.23 DESC 'Fax' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.24 DESC 'Generalized Time' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.25 DESC 'Guide' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.26 DESC 'IA5 String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.27 DESC 'INTEGER' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.28 DESC 'JPEG' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.30 DESC 'Matching Rule Description' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.31 DESC 'Matching Rule Use Description' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.34 DESC 'Name And Optional UID' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.36 DESC 'Numeric String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.37 DESC 'Object Class Description' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.38 DESC 'OID' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.39 DESC 'Other Mailbox' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.40 DESC 'Octet String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.41 DESC 'Postal Address' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.44 DESC 'Printable String' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.50 DESC 'Telephone Number' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.51 DESC 'Teletex Terminal Identifier' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.52 DESC 'Telex Number' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.53 DESC 'UTC Time' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.54 DESC 'LDAP Syntax Description' )
ldapsyntax ( 1.3.6.1.4.1.1466.115.121.1.58 DESC 'Substring Assertion' )
ldapsyntax ( 1.3.6.1.1.16.1 DESC 'UUID' )
ldapsyntax ( 1.3.6.1.1.1.0.0 DESC 'RFC2307 NIS Netgroup Triple' )
ldapsyntax ( 1.3.6.1.1.1.0.1 DESC 'RFC2307 Boot Parameter' )
)";

// Matching rules are not a slapd.conf statement; they are read as a
// subschema entry would list them.
constexpr const char* kMatchingRules = R"(
matchingRules: ( 2.5.13.0 NAME 'objectIdentifierMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )
matchingRules: ( 2.5.13.1 NAME 'distinguishedNameMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )
matchingRules: ( 2.5.13.2 NAME 'caseIgnoreMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 2.5.13.3 NAME 'caseIgnoreOrderingMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 2.5.13.4 NAME 'caseIgnoreSubstringsMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.58 )
matchingRules: ( 2.5.13.5 NAME 'caseExactMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 2.5.13.6 NAME 'caseExactOrderingMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 2.5.13.7 NAME 'caseExactSubstringsMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.58 )
matchingRules: ( 2.5.13.8 NAME 'numericStringMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.36 )
matchingRules: ( 2.5.13.9 NAME 'numericStringOrderingMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.36 )
matchingRules: ( 2.5.13.10 NAME 'numericStringSubstringsMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.58 )
matchingRules: ( 2.5.13.11 NAME 'caseIgnoreListMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.41 )
matchingRules: ( 2.5.13.12 NAME 'caseIgnoreListSubstringsMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.58 )
matchingRules: ( 2.5.13.13 NAME 'booleanMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.7 )
matchingRules: ( 2.5.13.14 NAME 'integerMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )
matchingRules: ( 2.5.13.15 NAME 'integerOrderingMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )
matchingRules: ( 2.5.13.16 NAME 'bitStringMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.6 )
matchingRules: ( 2.5.13.17 NAME 'octetStringMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )
matchingRules: ( 2.5.13.18 NAME 'octetStringOrderingMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )
matchingRules: ( 2.5.13.20 NAME 'telephoneNumberMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.50 )
matchingRules: ( 2.5.13.21 NAME 'telephoneNumberSubstringsMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.58 )
matchingRules: ( 2.5.13.23 NAME 'uniqueMemberMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.34 )
matchingRules: ( 2.5.13.27 NAME 'generalizedTimeMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 )
matchingRules: ( 2.5.13.28 NAME 'generalizedTimeOrderingMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 )
matchingRules: ( 2.5.13.29 NAME 'integerFirstComponentMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )
matchingRules: ( 2.5.13.30 NAME 'objectIdentifierFirstComponentMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )
matchingRules: ( 2.5.13.31 NAME 'directoryStringFirstComponentMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 2.5.13.32 NAME 'wordMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 2.5.13.33 NAME 'keywordMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
matchingRules: ( 1.3.6.1.4.1.1466.109.114.1 NAME 'caseExactIA5Match' SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 )
matchingRules: ( 1.3.6.1.4.1.1466.109.114.2 NAME 'caseIgnoreIA5Match' SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 )
matchingRules: ( 1.3.6.1.4.1.1466.109.114.3 NAME 'caseIgnoreIA5SubstringsMatch' SYNTAX 1.3.6.1.4.1.1466.115.121.1.58 )
)";

// RFC 4512: the operational attributes and the classes every directory has.
constexpr const char* kModels = R"(
objectidentifier LdapSyntax 1.3.6.1.4.1.1466.115.121.1
attributetype ( 2.5.4.0 NAME 'objectClass' EQUALITY objectIdentifierMatch SYNTAX LdapSyntax:38 )
attributetype ( 2.5.4.1 NAME 'aliasedObjectName' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 SINGLE-VALUE )
attributetype ( 2.5.18.1 NAME 'createTimestamp' EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch SYNTAX LdapSyntax:24 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.18.2 NAME 'modifyTimestamp' EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch SYNTAX LdapSyntax:24 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.18.3 NAME 'creatorsName' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.18.4 NAME 'modifiersName' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.18.10 NAME 'subschemaSubentry' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.21.9 NAME 'structuralObjectClass' EQUALITY objectIdentifierMatch SYNTAX LdapSyntax:38 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.21.10 NAME 'governingStructureRule' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 2.5.21.1 NAME 'dITStructureRules' EQUALITY integerFirstComponentMatch SYNTAX LdapSyntax:17 USAGE directoryOperation )
attributetype ( 2.5.21.2 NAME 'dITContentRules' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:16 USAGE directoryOperation )
attributetype ( 2.5.21.4 NAME 'matchingRules' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:30 USAGE directoryOperation )
attributetype ( 2.5.21.5 NAME 'attributeTypes' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:3 USAGE directoryOperation )
attributetype ( 2.5.21.6 NAME 'objectClasses' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:37 USAGE directoryOperation )
attributetype ( 2.5.21.7 NAME 'nameForms' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:35 USAGE directoryOperation )
attributetype ( 2.5.21.8 NAME 'matchingRuleUse' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:31 USAGE directoryOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.16 NAME 'ldapSyntaxes' EQUALITY objectIdentifierFirstComponentMatch SYNTAX LdapSyntax:54 USAGE directoryOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.6 NAME 'altServer' SYNTAX LdapSyntax:26 USAGE dSAOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.5 NAME 'namingContexts' SYNTAX LdapSyntax:12 USAGE dSAOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.13 NAME 'supportedControl' SYNTAX LdapSyntax:38 USAGE dSAOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.7 NAME 'supportedExtension' SYNTAX LdapSyntax:38 USAGE dSAOperation )
attributetype ( 1.3.6.1.4.1.4203.1.3.5 NAME 'supportedFeatures' EQUALITY objectIdentifierMatch SYNTAX LdapSyntax:38 USAGE dSAOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.15 NAME 'supportedLDAPVersion' SYNTAX LdapSyntax:27 USAGE dSAOperation )
attributetype ( 1.3.6.1.4.1.1466.101.120.14 NAME 'supportedSASLMechanisms' SYNTAX LdapSyntax:15 USAGE dSAOperation )
objectclass ( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )
objectclass ( 2.5.6.1 NAME 'alias' SUP top STRUCTURAL MUST aliasedObjectName )
objectclass ( 1.3.6.1.4.1.1466.101.120.111 NAME 'extensibleObject' SUP top AUXILIARY )
objectclass ( 2.5.20.1 NAME 'subschema' AUXILIARY MAY ( dITStructureRules $ nameForms $ dITContentRules $ objectClasses $ attributeTypes $ matchingRules $ matchingRuleUse ) )
)";

// RFC 4519.
constexpr const char* kUserSchema = R"(
objectidentifier LdapSyntax 1.3.6.1.4.1.1466.115.121.1
attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.49 NAME 'distinguishedName' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 )
attributetype ( 2.5.4.15 NAME 'businessCategory' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.6 NAME ( 'c' 'countryName' ) SUP name SYNTAX LdapSyntax:11 SINGLE-VALUE )
attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )
attributetype ( 0.9.2342.19200300.100.1.25 NAME ( 'dc' 'domainComponent' ) EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch SYNTAX LdapSyntax:26 SINGLE-VALUE )
attributetype ( 2.5.4.13 NAME 'description' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.27 NAME 'destinationIndicator' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:44 )
attributetype ( 2.5.4.46 NAME 'dnQualifier' EQUALITY caseIgnoreMatch ORDERING caseIgnoreOrderingMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:44 )
attributetype ( 2.5.4.47 NAME 'enhancedSearchGuide' SYNTAX LdapSyntax:21 )
attributetype ( 2.5.4.23 NAME 'facsimileTelephoneNumber' SYNTAX LdapSyntax:22 )
attributetype ( 2.5.4.44 NAME 'generationQualifier' SUP name )
attributetype ( 2.5.4.42 NAME ( 'givenName' 'gn' ) SUP name )
attributetype ( 2.5.4.51 NAME 'houseIdentifier' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.43 NAME 'initials' SUP name )
attributetype ( 2.5.4.25 NAME 'internationalISDNNumber' EQUALITY numericStringMatch SUBSTR numericStringSubstringsMatch SYNTAX LdapSyntax:36 )
attributetype ( 2.5.4.7 NAME ( 'l' 'localityName' ) SUP name )
attributetype ( 2.5.4.31 NAME 'member' SUP distinguishedName )
attributetype ( 2.5.4.10 NAME ( 'o' 'organizationName' ) SUP name )
attributetype ( 2.5.4.11 NAME ( 'ou' 'organizationalUnitName' ) SUP name )
attributetype ( 2.5.4.32 NAME 'owner' SUP distinguishedName )
attributetype ( 2.5.4.19 NAME 'physicalDeliveryOfficeName' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.16 NAME 'postalAddress' EQUALITY caseIgnoreListMatch SUBSTR caseIgnoreListSubstringsMatch SYNTAX LdapSyntax:41 )
attributetype ( 2.5.4.17 NAME 'postalCode' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.18 NAME 'postOfficeBox' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.28 NAME 'preferredDeliveryMethod' SYNTAX LdapSyntax:14 SINGLE-VALUE )
attributetype ( 2.5.4.26 NAME 'registeredAddress' SUP postalAddress SYNTAX LdapSyntax:41 )
attributetype ( 2.5.4.33 NAME 'roleOccupant' SUP distinguishedName )
attributetype ( 2.5.4.14 NAME 'searchGuide' SYNTAX LdapSyntax:25 )
attributetype ( 2.5.4.34 NAME 'seeAlso' SUP distinguishedName )
attributetype ( 2.5.4.5 NAME 'serialNumber' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:44 )
attributetype ( 2.5.4.4 NAME ( 'sn' 'surname' ) SUP name )
attributetype ( 2.5.4.8 NAME ( 'st' 'stateOrProvinceName' ) SUP name )
attributetype ( 2.5.4.9 NAME ( 'street' 'streetAddress' ) EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.20 NAME 'telephoneNumber' EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch SYNTAX LdapSyntax:50 )
attributetype ( 2.5.4.22 NAME 'teletexTerminalIdentifier' SYNTAX LdapSyntax:51 )
attributetype ( 2.5.4.21 NAME 'telexNumber' SYNTAX LdapSyntax:52 )
attributetype ( 2.5.4.12 NAME 'title' SUP name )
attributetype ( 0.9.2342.19200300.100.1.1 NAME ( 'uid' 'userid' ) EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 2.5.4.50 NAME 'uniqueMember' EQUALITY uniqueMemberMatch SYNTAX LdapSyntax:34 )
attributetype ( 2.5.4.35 NAME 'userPassword' EQUALITY octetStringMatch SYNTAX LdapSyntax:40 )
attributetype ( 2.5.4.24 NAME 'x121Address' EQUALITY numericStringMatch SUBSTR numericStringSubstringsMatch SYNTAX LdapSyntax:36 )
attributetype ( 2.5.4.45 NAME 'x500UniqueIdentifier' EQUALITY bitStringMatch SYNTAX LdapSyntax:6 )
attributetype ( 2.5.4.36 NAME 'userCertificate' DESC 'X.509 user certificate' EQUALITY certificateExactMatch SYNTAX LdapSyntax:8 )
objectclass ( 2.5.6.11 NAME 'applicationProcess' SUP top STRUCTURAL MUST cn MAY ( seeAlso $ ou $ l $ description ) )
objectclass ( 2.5.6.2 NAME 'country' SUP top STRUCTURAL MUST c MAY ( searchGuide $ description ) )
objectclass ( 1.3.6.1.4.1.1466.344 NAME 'dcObject' SUP top AUXILIARY MUST dc )
objectclass ( 2.5.6.14 NAME 'device' SUP top STRUCTURAL MUST cn MAY ( serialNumber $ seeAlso $ owner $ ou $ o $ l $ description ) )
objectclass ( 2.5.6.9 NAME 'groupOfNames' SUP top STRUCTURAL MUST ( member $ cn ) MAY ( businessCategory $ seeAlso $ owner $ ou $ o $ description ) )
objectclass ( 2.5.6.17 NAME 'groupOfUniqueNames' SUP top STRUCTURAL MUST ( uniqueMember $ cn ) MAY ( businessCategory $ seeAlso $ owner $ ou $ o $ description ) )
objectclass ( 2.5.6.3 NAME 'locality' SUP top STRUCTURAL MAY ( street $ seeAlso $ searchGuide $ st $ l $ description ) )
objectclass ( 2.5.6.4 NAME 'organization' SUP top STRUCTURAL MUST o MAY ( userPassword $ searchGuide $ seeAlso $ businessCategory $ x121Address $ registeredAddress $ destinationIndicator $ preferredDeliveryMethod $ telexNumber $ teletexTerminalIdentifier $ telephoneNumber $ internationalISDNNumber $ facsimileTelephoneNumber $ street $ postOfficeBox $ postalCode $ postalAddress $ physicalDeliveryOfficeName $ st $ l $ description ) )
objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST ( sn $ cn ) MAY ( userPassword $ telephoneNumber $ seeAlso $ description ) )
objectclass ( 2.5.6.7 NAME 'organizationalPerson' SUP person STRUCTURAL MAY ( title $ x121Address $ registeredAddress $ destinationIndicator $ preferredDeliveryMethod $ telexNumber $ teletexTerminalIdentifier $ telephoneNumber $ internationalISDNNumber $ facsimileTelephoneNumber $ street $ postOfficeBox $ postalCode $ postalAddress $ physicalDeliveryOfficeName $ ou $ st $ l ) )
objectclass ( 2.5.6.8 NAME 'organizationalRole' SUP top STRUCTURAL MUST cn MAY ( x121Address $ registeredAddress $ destinationIndicator $ preferredDeliveryMethod $ telexNumber $ teletexTerminalIdentifier $ telephoneNumber $ internationalISDNNumber $ facsimileTelephoneNumber $ seeAlso $ roleOccupant $ preferredDeliveryMethod $ street $ postOfficeBox $ postalCode $ postalAddress $ physicalDeliveryOfficeName $ ou $ st $ l $ description ) )
objectclass ( 2.5.6.5 NAME 'organizationalUnit' SUP top STRUCTURAL MUST ou MAY ( businessCategory $ description $ destinationIndicator $ facsimileTelephoneNumber $ internationalISDNNumber $ l $ physicalDeliveryOfficeName $ postalAddress $ postalCode $ postOfficeBox $ preferredDeliveryMethod $ registeredAddress $ searchGuide $ seeAlso $ st $ street $ telephoneNumber $ teletexTerminalIdentifier $ telexNumber $ userPassword $ x121Address ) )
objectclass ( 2.5.6.10 NAME 'residentialPerson' SUP person STRUCTURAL MUST l MAY ( businessCategory $ x121Address $ registeredAddress $ destinationIndicator $ preferredDeliveryMethod $ telexNumber $ teletexTerminalIdentifier $ telephoneNumber $ internationalISDNNumber $ facsimileTelephoneNumber $ preferredDeliveryMethod $ street $ postOfficeBox $ postalCode $ postalAddress $ physicalDeliveryOfficeName $ st $ l ) )
objectclass ( 1.3.6.1.1.3.1 NAME 'uidObject' SUP top AUXILIARY MUST uid )
)";

// RFC 4524.
constexpr const char* kCosine = R"(
objectidentifier LdapSyntax 1.3.6.1.4.1.1466.115.121.1
objectidentifier Pilot 0.9.2342.19200300.100
attributetype ( Pilot:1.37 NAME 'associatedDomain' EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch SYNTAX LdapSyntax:26 )
attributetype ( Pilot:1.38 NAME 'associatedName' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 )
attributetype ( Pilot:1.48 NAME 'buildingName' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.43 NAME ( 'co' 'friendlyCountryName' ) EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( Pilot:1.14 NAME 'documentAuthor' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 )
attributetype ( Pilot:1.11 NAME 'documentIdentifier' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.15 NAME 'documentLocation' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.56 NAME 'documentPublisher' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( Pilot:1.12 NAME 'documentTitle' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.13 NAME 'documentVersion' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.5 NAME ( 'drink' 'favouriteDrink' ) EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.20 NAME ( 'homePhone' 'homeTelephoneNumber' ) EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch SYNTAX LdapSyntax:50 )
attributetype ( Pilot:1.39 NAME 'homePostalAddress' EQUALITY caseIgnoreListMatch SUBSTR caseIgnoreListSubstringsMatch SYNTAX LdapSyntax:41 )
attributetype ( Pilot:1.9 NAME 'host' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.4 NAME 'info' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{2048} )
attributetype ( Pilot:1.3 NAME ( 'mail' 'rfc822Mailbox' ) EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch SYNTAX LdapSyntax:26{256} )
attributetype ( Pilot:1.10 NAME 'manager' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 )
attributetype ( Pilot:1.41 NAME ( 'mobile' 'mobileTelephoneNumber' ) EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch SYNTAX LdapSyntax:50 )
attributetype ( Pilot:1.45 NAME 'organizationalStatus' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.42 NAME ( 'pager' 'pagerTelephoneNumber' ) EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch SYNTAX LdapSyntax:50 )
attributetype ( Pilot:1.40 NAME 'personalTitle' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.6 NAME 'roomNumber' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.21 NAME 'secretary' EQUALITY distinguishedNameMatch SYNTAX LdapSyntax:12 )
attributetype ( Pilot:1.44 NAME 'uniqueIdentifier' EQUALITY caseIgnoreMatch SYNTAX LdapSyntax:15{256} )
attributetype ( Pilot:1.8 NAME 'userClass' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15{256} )
objectclass ( Pilot:4.5 NAME 'account' SUP top STRUCTURAL MUST uid MAY ( description $ seeAlso $ l $ o $ ou $ host ) )
objectclass ( Pilot:4.6 NAME 'document' SUP top STRUCTURAL MUST documentIdentifier MAY ( cn $ description $ seeAlso $ l $ o $ ou $ documentTitle $ documentVersion $ documentAuthor $ documentLocation $ documentPublisher ) )
objectclass ( Pilot:4.9 NAME 'documentSeries' SUP top STRUCTURAL MUST cn MAY ( description $ l $ o $ ou $ seeAlso $ telephoneNumber ) )
objectclass ( Pilot:4.13 NAME 'domain' SUP top STRUCTURAL MUST dc MAY ( userPassword $ searchGuide $ seeAlso $ businessCategory $ x121Address $ registeredAddress $ destinationIndicator $ preferredDeliveryMethod $ telexNumber $ teletexTerminalIdentifier $ telephoneNumber $ internationalISDNNumber $ facsimileTelephoneNumber $ street $ postOfficeBox $ postalCode $ postalAddress $ physicalDeliveryOfficeName $ st $ l $ description $ o $ associatedName ) )
objectclass ( Pilot:4.17 NAME 'domainRelatedObject' SUP top AUXILIARY MUST associatedDomain )
objectclass ( Pilot:4.18 NAME 'friendlyCountry' SUP country STRUCTURAL MUST co )
objectclass ( Pilot:4.14 NAME 'rFC822localPart' SUP domain STRUCTURAL MAY ( cn $ description $ destinationIndicator $ facsimileTelephoneNumber $ internationalISDNNumber $ physicalDeliveryOfficeName $ postalAddress $ postalCode $ postOfficeBox $ preferredDeliveryMethod $ registeredAddress $ seeAlso $ sn $ street $ telephoneNumber $ teletexTerminalIdentifier $ telexNumber $ x121Address ) )
objectclass ( Pilot:4.7 NAME 'room' SUP top STRUCTURAL MUST cn MAY ( roomNumber $ description $ seeAlso $ telephoneNumber ) )
objectclass ( Pilot:4.19 NAME 'simpleSecurityObject' SUP top AUXILIARY MUST userPassword )
)";

// RFC 2798.
constexpr const char* kInetOrgPerson = R"(
objectidentifier LdapSyntax 1.3.6.1.4.1.1466.115.121.1
objectidentifier Netscape 2.16.840.1.113730.3
attributetype ( Netscape:1.1 NAME 'carLicense' DESC 'vehicle license or registration plate' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( Netscape:1.2 NAME 'departmentNumber' DESC 'identifies a department within an organization' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( Netscape:1.241 NAME 'displayName' DESC 'preferred name of a person to be used when displaying entries' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 SINGLE-VALUE )
attributetype ( Netscape:1.3 NAME 'employeeNumber' DESC 'numerically identifies an employee within an organization' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 SINGLE-VALUE )
attributetype ( Netscape:1.4 NAME 'employeeType' DESC 'type of employment for a person' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 )
attributetype ( 0.9.2342.19200300.100.1.60 NAME 'jpegPhoto' DESC 'a JPEG image' SYNTAX LdapSyntax:28 )
attributetype ( Netscape:1.39 NAME 'preferredLanguage' DESC 'preferred written or spoken language for a person' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX LdapSyntax:15 SINGLE-VALUE )
attributetype ( Netscape:1.40 NAME 'userSMIMECertificate' DESC 'PKCS#7 SignedData used to support S/MIME' SYNTAX LdapSyntax:5 )
attributetype ( Netscape:1.216 NAME 'userPKCS12' DESC 'PKCS #12 PFX PDU for exchange of personal identity information' SYNTAX LdapSyntax:5 )
attributetype ( 0.9.2342.19200300.100.1.55 NAME 'audio' DESC 'audio (u-law)' EQUALITY octetStringMatch SYNTAX LdapSyntax:40{250000} )
attributetype ( 0.9.2342.19200300.100.1.7 NAME 'photo' DESC 'photo (G3 fax)' SYNTAX LdapSyntax:23{25000} )
attributetype ( 1.3.6.1.4.1.250.1.57 NAME 'labeledURI' DESC 'Uniform Resource Identifier with optional label' EQUALITY caseExactMatch SYNTAX LdapSyntax:15 )
objectclass ( Netscape:2.2 NAME 'inetOrgPerson' SUP organizationalPerson STRUCTURAL MAY ( audio $ businessCategory $ carLicense $ departmentNumber $ displayName $ employeeNumber $ employeeType $ givenName $ homePhone $ homePostalAddress $ initials $ jpegPhoto $ labeledURI $ mail $ manager $ mobile $ o $ pager $ photo $ roomNumber $ secretary $ uid $ userCertificate $ x500UniqueIdentifier $ preferredLanguage $ userSMIMECertificate $ userPKCS12 ) )
)";

// RFC 2307.
constexpr const char* kNis = R"(
objectidentifier LdapSyntax 1.3.6.1.4.1.1466.115.121.1
objectidentifier Nis 1.3.6.1.1.1
attributetype ( Nis:1.0 NAME 'uidNumber' DESC 'An integer uniquely identifying a user in an administrative domain' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.1 NAME 'gidNumber' DESC 'An integer uniquely identifying a group in an administrative domain' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.2 NAME 'gecos' DESC 'The GECOS field; the common name' EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch SYNTAX LdapSyntax:26 SINGLE-VALUE )
attributetype ( Nis:1.3 NAME 'homeDirectory' DESC 'The absolute path to the home directory' EQUALITY caseExactIA5Match SYNTAX LdapSyntax:26 SINGLE-VALUE )
attributetype ( Nis:1.4 NAME 'loginShell' DESC 'The path to the login shell' EQUALITY caseExactIA5Match SYNTAX LdapSyntax:26 SINGLE-VALUE )
attributetype ( Nis:1.5 NAME 'shadowLastChange' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.6 NAME 'shadowMin' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.7 NAME 'shadowMax' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.8 NAME 'shadowWarning' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.9 NAME 'shadowInactive' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.10 NAME 'shadowExpire' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.11 NAME 'shadowFlag' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.12 NAME 'memberUid' EQUALITY caseExactIA5Match SUBSTR caseExactIA5SubstringsMatch SYNTAX LdapSyntax:26 )
attributetype ( Nis:1.13 NAME 'memberNisNetgroup' EQUALITY caseExactIA5Match SUBSTR caseExactIA5SubstringsMatch SYNTAX LdapSyntax:26 )
attributetype ( Nis:1.14 NAME 'nisNetgroupTriple' DESC 'Netgroup triple' SYNTAX Nis:0.0 )
attributetype ( Nis:1.15 NAME 'ipServicePort' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.16 NAME 'ipServiceProtocol' SUP name )
attributetype ( Nis:1.17 NAME 'ipProtocolNumber' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.18 NAME 'oncRpcNumber' EQUALITY integerMatch SYNTAX LdapSyntax:27 SINGLE-VALUE )
attributetype ( Nis:1.19 NAME 'ipHostNumber' DESC 'IP address as a dotted decimal, eg. 192.168.1.1' EQUALITY caseIgnoreIA5Match SYNTAX LdapSyntax:26{128} )
attributetype ( Nis:1.20 NAME 'ipNetworkNumber' DESC 'IP network as a dotted decimal, eg. 192.168' EQUALITY caseIgnoreIA5Match SYNTAX LdapSyntax:26{128} SINGLE-VALUE )
attributetype ( Nis:1.21 NAME 'ipNetmaskNumber' DESC 'IP netmask as a dotted decimal, eg. 255.255.255.0' EQUALITY caseIgnoreIA5Match SYNTAX LdapSyntax:26{128} SINGLE-VALUE )
attributetype ( Nis:1.22 NAME 'macAddress' DESC 'MAC address in maximal, colon separated hex notation, eg. 00:00:92:90:ee:e2' EQUALITY caseIgnoreIA5Match SYNTAX LdapSyntax:26{128} )
attributetype ( Nis:1.23 NAME 'bootParameter' DESC 'rpc.bootparamd parameter' SYNTAX Nis:0.1 )
attributetype ( Nis:1.24 NAME 'bootFile' DESC 'Boot image name' EQUALITY caseExactIA5Match SYNTAX LdapSyntax:26 )
attributetype ( Nis:1.26 NAME 'nisMapName' SUP name )
attributetype ( Nis:1.27 NAME 'nisMapEntry' EQUALITY caseExactIA5Match SUBSTR caseExactIA5SubstringsMatch SYNTAX LdapSyntax:26{1024} SINGLE-VALUE )
objectclass ( Nis:2.0 NAME 'posixAccount' DESC 'Abstraction of an account with POSIX attributes' SUP top AUXILIARY MUST ( cn $ uid $ uidNumber $ gidNumber $ homeDirectory ) MAY ( userPassword $ loginShell $ gecos $ description ) )
objectclass ( Nis:2.1 NAME 'shadowAccount' DESC 'Additional attributes for shadow passwords' SUP top AUXILIARY MUST uid MAY ( userPassword $ shadowLastChange $ shadowMin $ shadowMax $ shadowWarning $ shadowInactive $ shadowExpire $ shadowFlag $ description ) )
objectclass ( Nis:2.2 NAME 'posixGroup' DESC 'Abstraction of a group of accounts' SUP top STRUCTURAL MUST ( cn $ gidNumber ) MAY ( userPassword $ memberUid $ description ) )
objectclass ( Nis:2.3 NAME 'ipService' DESC 'Abstraction an Internet Protocol service' SUP top STRUCTURAL MUST ( cn $ ipServicePort $ ipServiceProtocol ) MAY description )
objectclass ( Nis:2.4 NAME 'ipProtocol' DESC 'Abstraction of an IP protocol' SUP top STRUCTURAL MUST ( cn $ ipProtocolNumber $ description ) MAY description )
objectclass ( Nis:2.5 NAME 'oncRpc' DESC 'Abstraction of an ONC/RPC binding' SUP top STRUCTURAL MUST ( cn $ oncRpcNumber $ description ) MAY description )
objectclass ( Nis:2.6 NAME 'ipHost' DESC 'Abstraction of a host, an IP device' SUP top AUXILIARY MUST ( cn $ ipHostNumber ) MAY ( l $ description $ manager ) )
objectclass ( Nis:2.7 NAME 'ipNetwork' DESC 'Abstraction of an IP network' SUP top STRUCTURAL MUST ( cn $ ipNetworkNumber ) MAY ( ipNetmaskNumber $ l $ description $ manager ) )
objectclass ( Nis:2.8 NAME 'nisNetgroup' DESC 'Abstraction of a netgroup' SUP top STRUCTURAL MUST cn MAY ( nisNetgroupTriple $ memberNisNetgroup $ description ) )
objectclass ( Nis:2.9 NAME 'nisMap' DESC 'A generic abstraction of a NIS map' SUP top STRUCTURAL MUST nisMapName MAY description )
objectclass ( Nis:2.10 NAME 'nisObject' DESC 'An entry in a NIS map' SUP top STRUCTURAL MUST ( cn $ nisMapEntry $ nisMapName ) MAY description )
objectclass ( Nis:2.11 NAME 'ieee802Device' DESC 'A device with a MAC address' SUP top AUXILIARY MAY macAddress )
objectclass ( Nis:2.12 NAME 'bootableDevice' DESC 'A device with boot parameters' SUP top AUXILIARY MAY ( bootFile $ bootParameter ) )
)";

} // namespace

void AddBuiltinDefinitions(CSchema& schema) {
    ReadSchemaConf(kSyntaxes, schema);
    ReadSchemaLdif(kMatchingRules, schema);
    for (const char* pszText : {kModels, kUserSchema, kCosine, kInetOrgPerson, kNis})
        ReadSchemaConf(pszText, schema);
}

std::shared_ptr<const CSchema> BuiltinSchema() {
    auto pSchema = std::make_shared<CSchema>();
    AddBuiltinDefinitions(*pSchema);
    pSchema->Resolve();
    return pSchema;
}
