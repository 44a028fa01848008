// Starting programs and web pages from the elevated window program.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/errorcodes.h"

namespace tvd {

// Only a plain, absolute path strictly inside one of `folders` may be run: no quotes, no
// relative parts ("." or ".."), no alternate streams, no device or "\\?\" forms. Comparison
// ignores ASCII case and takes '/' for '\'. Pure text rule; the Windows layer applies it to
// the full path it resolved.
bool IsRunnableProgramPath(std::string_view program, const std::vector<std::string>& folders);

// Runs `program` (UTF-8, absolute, in the system folder or the admin-only folder for
// executables) with the command line "\"program\" arguments", without a console window, in
// `directory` (the current one when empty), and waits for it while pumping window messages.
// kAccessDenied for a program outside those folders; `exitCode` gets the process's exit code.
// Windows only: kNotSupported elsewhere.
ErrorCode RunAndWait(const std::string& program, const std::string& arguments,
                     const std::string& directory, std::uint32_t* exitCode = nullptr);

// A well-formed absolute https address: "https://", a host name of letters, digits, '-' and
// '.', an optional port, then only URL characters (no blanks, quotes, backslashes, controls or
// user information); at most 2048 characters.
bool IsWellFormedHttpsUrl(std::string_view url);

// Opens a well-formed https address in the user's own unelevated desktop shell. Never runs the
// browser from this (elevated) process: without the desktop shell nothing is opened and the
// answer is kFileNotFound. kInvalidParameter for any other address. Windows only: kNotSupported
// elsewhere.
ErrorCode OpenWebPage(const std::string& url);

} // namespace tvd
