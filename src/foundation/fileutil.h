// Whole-file reading and writing. Paths are UTF-8 (UTF-16 twins where callers need them); the
// Windows layer converts to UTF-16 and uses the wide API, so any path works.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

// What a written file is for. Data files (settings, Config.ini) are shared with ordinary users:
// on Windows the local Users group gets full access. Files that will be executed get no such
// entry and must be written into AdminOnlyFolder().
enum class FileUse { kData, kExecutable };

// Empty files, files of 4 GiB or more and read failures give an error and leave `data` empty.
ErrorCode ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data);
ErrorCode ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data);

// Creates the missing folders (kFileExists, 80, when a file stands in the way), replaces the
// target with exactly these bytes, then sets its access list for `use`. The old content stays
// intact until the new content is completely on disk.
ErrorCode WriteWholeFile(const std::string& path, ByteView data, FileUse use = FileUse::kData);
ErrorCode WriteWholeFile(const std::u16string& path, ByteView data, FileUse use = FileUse::kData);

// Resets the attributes and deletes; a missing file counts as success.
ErrorCode DeleteFileForce(const std::string& path);
ErrorCode DeleteFileForce(const std::u16string& path);

// The folder for executables the elevated program writes and runs: only administrators (and the
// system) can write it. Created on first use with that access list. Windows: a "bin" folder in
// the product's common application data folder; Linux: a root-owned 0755 folder.
ErrorCode AdminOnlyFolder(std::string& path);

// Writes the program's "BINRES" resource `id` (from `modulePath`, or the program itself when
// null) as `fileName` inside AdminOnlyFolder(), as an executable; `writtenPath` gets the path.
ErrorCode ExtractBinaryResource(const char* modulePath, int id, const std::string& fileName,
                                std::string& writtenPath);
// The bytes of the program's own RT_RCDATA resource `name`; false when missing. The view stays
// valid for the life of the process.
bool FindRcData(const char* name, ByteView& bytes);

} // namespace tvd
