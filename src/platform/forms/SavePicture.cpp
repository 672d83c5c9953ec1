#include "platform/forms/SavePicture.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageWriter>
#include <cerrno>
#include <climits>
#include <cstring>

namespace plim::forms {

int probeSaveFailure(const std::string& path, int callErrno) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > NAME_MAX || path.size() >= PATH_MAX) return ENAMETOOLONG;
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) return errno == ENAMETOOLONG ? ENAMETOOLONG : ENOENT;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    struct statvfs vfs;
    if (::statvfs(dir.c_str(), &vfs) == 0) {
        if (vfs.f_flag & ST_RDONLY) return EROFS;
        if (vfs.f_bavail == 0) return ENOSPC;
    }
    if (::access(dir.c_str(), W_OK) != 0) return errno == EROFS ? EROFS : EACCES;
    return callErrno;
}

std::string saveFailureText(int err) {
    switch (err) {
        case EACCES:
        case EPERM: return "書き込む権限がありません";
        case ENOSPC:
        case EDQUOT: return "ディスクの空き容量が足りません";
        case EROFS: return "読み取り専用のドライブです";
        case ENAMETOOLONG: return "ファイル名が長すぎます";
        case ENOENT:
        case ENOTDIR: return "フォルダが見つかりません";
        case 0: return "書き込めませんでした";
        default: return std::strerror(err);  // the system's own text, in the user's language
    }
}

namespace {
// Writes bytes to a temporary file beside path, then renames it over path. Paths are bytes
// (a folder with a Shift_JIS name works). Returns 0 or the errno of the call that failed.
int writeReplacing(const std::string& path, const QByteArray& bytes) {
    size_t slash = path.rfind('/');
    std::string tmp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".plim-save-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return errno;
    struct stat old;
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~mask));
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    int err = 0;
    while (left > 0 && !err) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno != EINTR) err = errno;
        if (n > 0) p += n, left -= size_t(n);
    }
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err) ::unlink(tmp.c_str());
    return err;
}
}  // namespace

std::string SavePicture(const Picture& picture, const std::string& path) {
    if (picture.isNull()) return "保存する画像がありません";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32))) return writer.errorString().toStdString();
    if (int err = writeReplacing(path, bytes)) return saveFailureText(probeSaveFailure(path, err));
    return {};
}

}  // namespace plim::forms
