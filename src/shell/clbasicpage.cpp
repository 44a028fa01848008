#include "shell/clbasicpage.h"

namespace tvd {

clBasicPage::~clBasicPage() = default;

} // namespace tvd
