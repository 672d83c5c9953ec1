#include "platform/forms/FileNames.h"

#include <iconv.h>

#include <QStringDecoder>

namespace plim::forms {
namespace {
bool validUtf8(const std::string& s) {
    QStringDecoder d(QStringDecoder::Utf8);
    QString decoded = d.decode(QByteArrayView(s.data(), qsizetype(s.size())));  // decodes when converted
    return !d.hasError();
}

// The name decoded as CP932, or empty when it is not valid CP932.
QString fromCp932(const std::string& s) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1)) return {};
    std::string out(s.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(s.data());
    size_t inLeft = s.size(), outLeft = out.size();
    char* o = out.data();
    bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != size_t(-1) && inLeft == 0;
    iconv_close(cd);
    return ok ? QString::fromUtf8(out.data(), qsizetype(out.size() - outLeft)) : QString();
}
}  // namespace

QString displayName(const std::string& raw) {
    if (validUtf8(raw)) return QString::fromStdString(raw);
    QString sjis = fromCp932(raw);
    return sjis.isEmpty() ? QString::fromLocal8Bit(raw.data(), qsizetype(raw.size())) : sjis;
}

}  // namespace plim::forms
