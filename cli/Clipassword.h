#pragma once

#include <QString>

#include <string>

// Reads one password line. From a terminal the prompt goes to standard error
// and the typing is not echoed; from a pipe or file the first line of
// standard input is taken as it is (without its line end). False when there
// is nothing to read (end of input before any character or line end).
// The bytes are kept exactly as typed: they are what the digest and the
// settings block are made of.
bool ReadPassword(const QString &prompt, std::string &password);
