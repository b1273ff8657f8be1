#pragma once
// Formats can come from a resource module, so no formatting path of the program
// honours %n (it writes through an argument). These checks find such a conversion
// the way the runtime's parser would reach it: %% is a literal, and flags, width,
// precision ('*' included) and size modifiers may stand between '%' and 'n'.

// true when the format holds a conversion that writes through its argument.
// A null format holds none.
bool FormatHasWriteConversion(const wchar_t* pszFormat) noexcept;
bool FormatHasWriteConversion(const char* pszFormat) noexcept;
