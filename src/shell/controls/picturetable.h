// Every picture the shell draws, with its size in layout pixels. The rendered resources come
// from resources/pictures (pictures.tsv), and a test keeps the two lists equal.
#pragma once
#include <span>
#include <string_view>

namespace tvd {

struct PictureSpec {
    const char* name;
    int width;
    int height;
};

std::span<const PictureSpec> ShellPictures();
// Null when the shell knows no picture of that name.
const PictureSpec* FindShellPicture(std::string_view name);

} // namespace tvd
