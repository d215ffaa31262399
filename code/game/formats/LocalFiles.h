// File access for the game client's readers. The program names files the
// Windows way (folders separated by backslashes); these calls take such paths
// on whatever system the code runs, so the readers also run natively.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The path as the running system names it: unchanged on Windows; in the
// native build every backslash becomes a slash.
std::string LocalPath(const std::string& path);

// fopen of LocalPath(path).
FILE* OpenLocalFile(const std::string& path, const char* mode);

// Size in bytes of a regular file; -1 when there is none (unlike
// GetFileLength, this tells a missing file from an empty one).
int64_t LocalFileSize(const std::string& path);

// The whole file as bytes. False when it cannot be opened or read (or is
// too large to hold).
bool ReadLocalFile(const std::string& path, std::vector<unsigned char>* data);

// The whole file read as the Windows C library's text mode reads it: each
// CR LF pair becomes LF and a Ctrl-Z ends the text. The same on every
// system, so the native builds read text files as the program does. False
// when the file cannot be opened.
bool ReadTextModeFile(const std::string& path, std::string* text);
