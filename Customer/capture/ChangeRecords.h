// Changed rectangles that a companion program reports by WM_COPYDATA
// (identifier 112233): text of 20-character records, four fields of five
// characters each, of which the first four are a decimal number: left, top,
// right, bottom in virtual-screen coordinates.
#pragma once

#include "rfb/Rect.h"

#include <cstddef>
#include <vector>

constexpr unsigned long kChangeRecordsId = 112233;
constexpr size_t kChangeRecordSize = 20;

// Reads the whole records of size bytes; a record with anything but digits
// in a number, or an empty rectangle, is dropped, as are bytes after the
// last whole record.
std::vector<rfb::Rect> ParseChangeRecords(const void* data, size_t size);
