// What an update check ends with, for the Utility page's message box and the command line.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/errorcodes.h"
#include "foundation/inibufutila.h"
#include "net/weburlutil.h"

namespace tvd {

enum class UpdateCheckState {
    kUpToDate,        // a definite answer: nothing newer
    kUpdateAvailable, // with a checked https address and its file name
    kRefused,         // the service understood and said no (code and message)
    kFailed,          // no answer to rely on (error, HTTP status or a malformed reply)
};

struct UpdateOutcome {
    UpdateCheckState state = UpdateCheckState::kFailed;
    std::uint32_t messageId = 0; // the message table's id; 0: `message` came from the service
    std::string message;         // the English text as shown
    char status = 0;             // firmware reply: first character of "statuscode"
    std::string code;            // "errorcode" or "successcode"
    std::string url;             // offered address (checked), empty otherwise
    std::string fileName;
    ErrorCode error = 0; // why the check failed, when it did
    std::uint32_t httpStatus = 0;
};

inline constexpr const char* kUpdateSection = "Update";
inline constexpr const char* kFirmwareServiceKey = "FirmwareService";
inline constexpr const char* kToolServiceKey = "ToolService";
// Built-in service addresses; empty until the product's hosts are named.
inline constexpr const char* kDefaultFirmwareService = "";
inline constexpr const char* kDefaultToolService = "";

// The service address from Config.ini's [Update] key (or the built-in default). kNotFound with
// "update service not configured" when there is none; kInvalidData when it is not https.
ErrorCode ReadUpdateService(const IniBuffer* config, const char* key, const char* fallback,
                            HttpsUrl& out, std::string& why);

// The text of a reply made safe to print: control characters (and DEL) become '?'.
std::string PrintableText(std::string_view text);

} // namespace tvd
