#pragma once
// What a server or a file says, prepared for the eye: characters that are
// invisible or that reorder the text around them are spelt out, so that two
// names that look alike on screen are told apart. Only the shown text
// changes; the bytes kept and sent back are the server's own.

#include "platform/String.h"

#include <string>
#include <string_view>

// The characters spelt out: the directional embeddings, overrides and
// isolates (U+202A-U+202E, U+2066-U+2069), the direction marks (U+200E,
// U+200F) and the zero-width ones (U+200B-U+200D, U+2060, U+FEFF).
bool IsHiddenCodePoint(char32_t c);

// The mark that stands for such a character: "⟨U+202E⟩".
std::string HiddenCodePointMark(char32_t c);

// utf8 with every hidden character replaced by its mark. Bytes that are not
// UTF-8 pass unchanged (the display shows them as replacement characters).
std::string MakeHiddenVisible(std::string_view utf8);

// The first word that mixes Latin letters with Cyrillic or Greek ones (a
// look-alike such as "Аlice" with a Cyrillic "А"); empty when there is none.
// A word is a run of letters, digits and hidden characters; DN separators,
// blanks and punctuation end it.
std::string FindMixedScriptWord(std::string_view utf8);

// The warning shown beside such a text, empty when the text is of one
// script per word:
// "Look-alike letters: the word “Аlice” mixes Latin with Cyrillic letters."
std::string MixedScriptWarning(std::string_view utf8);
