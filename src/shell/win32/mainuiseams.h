// Seams to the language tables and the text formatter, which the window program gets from the
// shell's language units: until they are linked in, English texts of the ids this window shows.
#pragma once
#include <string>

namespace tvd::win {

// The text of a message id in the UI language; empty when there is none.
std::u16string UiText(int id);
// The UI font's face.
const wchar_t* UiFontName();
// "%s" (or "%i") in `format` filled in order from `args`; a format that asks for more values
// than given, or for another kind, gives an empty text.
std::u16string UiFormat(const std::u16string& format, const std::u16string& a,
                        const std::u16string& b = std::u16string());
bool LoadLanguageTablesSeam();

} // namespace tvd::win
