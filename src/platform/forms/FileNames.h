#pragma once
// File and folder names are bytes. They are kept as they are (so a name opens and enters by
// its real bytes) and shown decoded: UTF-8 (the locale's encoding) when they are that;
// otherwise Shift_JIS (CP932), as old CDs, ZIP files and FAT media from Japanese systems
// carry them, when they decode cleanly as that; otherwise as the locale decodes them, with a
// replacement character where it cannot.
#include <QString>
#include <string>

namespace plim::forms {

QString displayName(const std::string& raw);

}  // namespace plim::forms
