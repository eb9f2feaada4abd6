#pragma once
// The printf conversions of a text, so a translated text used as a format
// can be checked against the one it replaces.
#include <string>
#include <vector>

// Each conversion of `format` in order ("%-10.3ls" gives "-10.3ls"); "%%" is
// not one. A '%' that no conversion letter ends is kept as it stands, so it
// never matches a real conversion.
std::vector<std::wstring> FormatConversions(const wchar_t* format);
// The two texts have the same conversions in the same order.
bool SameConversions(const wchar_t* a, const wchar_t* b);
