// Texts of the security alert, from the refused certificate's record.
#pragma once

#include <string>

// "YYYY-MM-DD hh:mm:ss" as year, month and day without leading zeros
// ("2026-3-5"); "" when the text is not such a date.
std::string AlertDate(const std::string& stamp);
// The text after the first line feed, or the whole text when it has none.
std::string AfterFirstLineFeed(const std::string& text);
