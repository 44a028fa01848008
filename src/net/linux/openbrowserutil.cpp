#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "net/weburlutil.h"

extern char** environ;

namespace tvd {

ErrorCode OpenSafeBrowserUrl(const std::string& url) {
    if (!IsSafeBrowserUrl(url)) return err::kInvalidParameter;
    std::string program = "xdg-open";
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    const int e = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
    if (e != 0) return ErrorFromErrno(e);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return ErrorFromErrno(errno);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : err::kGenFailure;
}

} // namespace tvd
