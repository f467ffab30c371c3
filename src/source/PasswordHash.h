#pragma once
// userPassword values made on this side, for servers that cannot change a
// password themselves: salted hashes in the {SSHA} and {SSHA512} forms that
// OpenLDAP and 389 DS check at a bind, or (after a warning) clear text.

#include "platform/String.h"

enum class EPasswordScheme { SSHA, SSHA512, Clear };

// "{SSHA}" + base64(SHA-1(password + salt) + salt) with a fresh random salt
// of 8 bytes; "{SSHA512}" the same with SHA-512; the password itself for
// Clear. Empty when no random salt could be had.
CString MakePasswordValue(EPasswordScheme eScheme, const CString& password);

// Whether value (one of the forms above) is password's.
bool PasswordMatches(const CString& value, const CString& password);

// For the attribute pane: the scheme, then dots ("{SSHA} ••••••••"); a
// clear-text value shows dots only.
CString MaskPasswordValue(const CString& value);
