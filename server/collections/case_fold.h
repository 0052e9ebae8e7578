// Case-insensitive text comparison for guids and string collections.
//
// Texts are compared up to their first zero character (the same text that an
// item fragment carries), code unit by code unit after simple case folding.
// The folding covers the Basic Multilingual Plane scripts that have case:
// Latin (with Extended-A/B, Additional, C, D), Greek (with Extended), Cyrillic
// (with supplements), Armenian, Georgian, Cherokee, Glagolitic, Coptic,
// letter-like symbols, enclosed and full-width letters. It is a compact table
// written into the code rather than the C library's towlower, whose answer
// depends on which locales happen to be installed on the machine; the result
// is therefore the same on every machine and in every process locale.
// Characters outside the BMP compare exactly.
#pragma once

#include <string>
#include <string_view>

namespace qx {

// The simple case folding of one UTF-16 code unit (lower case for most
// scripts); code units without case come back unchanged.
char16_t FoldCase(char16_t c);

// The text up to (not including) its first zero character.
std::u16string_view TextUpToZero(std::u16string_view text);

// The folded form of the text up to its first zero character: two texts are
// equal ignoring case exactly when their keys are equal.
std::u16string CaseFoldKey(std::u16string_view text);

// Compares the two texts ignoring case (each up to its first zero character).
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace qx
