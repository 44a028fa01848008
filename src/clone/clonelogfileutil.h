// The clone log file: "Log.TXT" in a "Replika2_result MM-DD-hh-mm" folder on the desktop,
// UTF-16LE with a byte order mark, one time-stamped line per message ending in CR LF. The
// elevated program writes it where ordinary users can write too, so it never follows a link:
// the folder is made new (a clone in the same minute as a kept log gets "... (2)"), and the file
// is created inside it exclusively.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/errorcodes.h"

namespace tvd {

struct CloneLocalTime {
    int month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
CloneLocalTime CloneLocalTimeNow();

enum class CloneLineKind { kPlain, kNote, kError };

inline constexpr char16_t kCloneLogFolderPrefix[] = u"Replika2_result";
inline constexpr char16_t kCloneLogFileName[] = u"Log.TXT";
// Folders tried for one minute before giving up.
inline constexpr unsigned kCloneLogFolderTries = 100;

// "Replika2_result 07-14-09-05", and from the second try on " (2)", " (3)" ...
std::u16string CloneLogFolderName(const CloneLocalTime& t, unsigned attempt);
// One line as written: "hh:mm:ss.mmm ", the marker ("! " note, "** " error), the text, CR LF;
// UTF-16LE bytes.
std::vector<std::uint8_t> CloneLogLineBytes(const CloneLocalTime& t, CloneLineKind kind,
                                            std::u16string_view text);

// Where log folders go: Windows the all-users desktop (else the user's); Linux the running
// user's desktop (XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop when present, else home),
// under sudo the invoking user's.
ErrorCode CloneLogBaseFolder(std::u16string& folder);

class CloneLogFile {
public:
    CloneLogFile();
    ~CloneLogFile();
    CloneLogFile(const CloneLogFile&) = delete;
    CloneLogFile& operator=(const CloneLogFile&) = delete;

    // Makes the next free log folder under `base` for time `t` and creates the file in it with
    // its byte order mark. kAlreadyExists when every name is taken.
    ErrorCode Create(const std::u16string& base, const CloneLocalTime& t);
    bool IsOpen() const;
    ErrorCode Write(const std::vector<std::uint8_t>& bytes);
    void Close();
    // Deletes the file and then its folder (after Close); the folder stays when anything else is
    // in it.
    ErrorCode Discard();
    const std::u16string& Folder() const { return folder_; }
    const std::u16string& Path() const { return path_; }

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    std::u16string folder_, path_;
};

} // namespace tvd
