#pragma once
// Where recordings and other media go: the default folder, the recording's
// file name and the stored "MediaFilePath" option (its byte form is in
// MediaFileName.h).
#include <string>

// The user's documents folder + "\Secure Parlemo", created when missing;
// empty when the documents folder is unknown.
std::wstring GetDefaultMediaFolder();
// prefix + "_" (when the prefix is not empty) + "GMT_...wmv" of now (UTC).
std::wstring MakeRecordingFileName(const std::wstring& prefix);
// The "MediaFilePath" option under the current user's Options key; 1 on success.
int SaveMediaFilePath(const std::wstring& path);
// Leaves path unchanged when the value is missing or empty; 1 when read.
int LoadMediaFilePath(std::wstring& path);
