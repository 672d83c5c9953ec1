#include "platform/forms/SavePicture.h"

#include <QImageWriter>
#include <QSaveFile>

namespace plim::forms {

std::string SavePicture(const Picture& picture, const std::string& path) {
    if (picture.isNull()) return "no picture";
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32))) {
        file.cancelWriting();
        return writer.errorString().toStdString();
    }
    if (!file.commit()) return file.errorString().toStdString();
    return {};
}

}  // namespace plim::forms
