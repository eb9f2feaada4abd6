// The "Invite List" dialog: a field's ";"-separated addresses shown one per
// line, and written back joined by ";" when the result fits the field.
#pragma once

#include <windows.h>

#include <string>

// Icon, opaque layered own window, texts, the addresses one per line; the
// edit takes focus.
void InitAddressList(HWND dialog, const std::wstring& addresses);
// The lines joined by ";"; false (nothing written) when the result would be
// longer than an address field holds.
bool ReadAddressList(HWND dialog, std::wstring& addresses);

// Procedure of the modal dialog: lParam points at the addresses, replaced on
// OK.
INT_PTR CALLBACK ModalAddressListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
