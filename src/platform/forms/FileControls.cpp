#include "platform/forms/FileControls.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QListWidget>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fnmatch.h>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

#include "platform/forms/FileNames.h"
#include "platform/forms/PathJoin.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Runtime.h"

namespace fs = std::filesystem;

namespace plim::forms {

int runtimeErrorForErrno(int err) {
    switch (err) {
        case EIO: case ENODEV: case ENXIO: case ENOMEDIUM: case ESTALE: case EHOSTDOWN:
        case ENOTCONN: case ETIMEDOUT: case EHOSTUNREACH: case ENETUNREACH:
            return 68;
        case EACCES: case EPERM:
            return 70;
        case ENOENT: case ENOTDIR:
            return 76;
        default:
            return 75;
    }
}

namespace {
[[noreturn]] void raise(int err, const std::string& path) {
    throw rt::RuntimeError(runtimeErrorForErrno(err), path + ": " + std::strerror(err));
}

bool caseLess(const std::string& a, const std::string& b) {
    QString qa = QString::fromStdString(a), qb = QString::fromStdString(b);
    int c = qa.compare(qb, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// Lists `path`, keeping entries for which keep(entry) holds.
template <typename Keep>
std::vector<std::string> listDir(const std::string& path, Keep keep) {
    std::error_code ec;
    fs::directory_iterator it(path, fs::directory_options::none, ec);
    if (ec) raise(ec.value(), path);
    std::vector<std::string> out;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) raise(ec.value(), path);
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (keep(*it, name)) out.push_back(name);
    }
    if (ec) raise(ec.value(), path);
    std::sort(out.begin(), out.end(), caseLess);
    return out;
}

// The process's working folder, however long; the root when it cannot be told.
std::string currentFolder() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    return ec || cwd.empty() ? std::string("/") : cwd.string();
}

std::function<std::vector<MountEntry>()> g_mountSource;

const std::set<std::string> kPseudo = {
    "proc", "sysfs", "cgroup", "cgroup2", "devtmpfs", "tmpfs", "overlay", "devpts", "mqueue",
    "securityfs", "debugfs", "tracefs", "pstore", "bpf", "autofs", "hugetlbfs", "configfs",
    "fusectl", "binfmt_misc", "efivarfs", "ramfs", "rpc_pipefs", "nsfs", "squashfs", "fuse.gvfsd-fuse",
    "fuse.portal", "selinuxfs", "nfsd"};
const std::set<std::string> kNetwork = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "davfs"};

std::string labelOf(const std::string& device) {
    std::error_code ec;
    fs::path byLabel("/dev/disk/by-label");
    for (fs::directory_iterator it(byLabel, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code ec2;
        if (fs::canonical(it->path(), ec2) == fs::path(device)) {
            std::string l = it->path().filename().string();
            // udev escapes blanks as \x20
            for (size_t p; (p = l.find("\\x20")) != std::string::npos;) l.replace(p, 4, " ");
            return l;
        }
    }
    return {};
}

std::string unescapeMount(std::string s) {
    // /proc/mounts escapes blank, tab, newline and backslash as octal
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            std::string oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && std::all_of(oct.begin(), oct.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += char(std::stoi(oct, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}
}  // namespace

bool matchesPattern(const std::string& name, const std::string& patterns) {
    std::stringstream ss(patterns);
    std::string pat;
    while (std::getline(ss, pat, ';')) {
        if (!pat.empty() && fnmatch(pat.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
    }
    return false;
}

std::vector<std::string> listFolders(const std::string& path) {
    return listDir(path, [](const fs::directory_entry& e, const std::string&) {
        std::error_code ec;
        return e.is_directory(ec);
    });
}

std::vector<std::string> listFiles(const std::string& path, const std::string& patterns) {
    return listDir(path, [&](const fs::directory_entry& e, const std::string& name) {
        std::error_code ec;
        return !e.is_directory(ec) && matchesPattern(name, patterns);
    });
}

std::vector<MountEntry> readMountTable() {
    std::vector<MountEntry> out;
    std::ifstream in("/proc/self/mounts");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        MountEntry e;
        ls >> e.source >> e.mountPoint >> e.fsType;
        e.mountPoint = unescapeMount(e.mountPoint);
        e.source = unescapeMount(e.source);
        out.push_back(e);
    }
    return out;
}

std::vector<MountEntry> storageMounts(const std::vector<MountEntry>& all) {
    std::vector<MountEntry> out{{"/", "", ""}};
    std::set<std::string> seen{"/"};
    for (const MountEntry& e : all) {
        if (kPseudo.count(e.fsType) || seen.count(e.mountPoint)) continue;
        bool real = e.source.rfind("/dev/", 0) == 0 || kNetwork.count(e.fsType);
        if (!real) continue;
        const std::string& m = e.mountPoint;
        bool system = m.rfind("/proc", 0) == 0 || m.rfind("/sys", 0) == 0 || m.rfind("/dev", 0) == 0 ||
                      m.rfind("/boot", 0) == 0 || m.rfind("/etc/", 0) == 0 ||
                      (m.rfind("/run", 0) == 0 && m.rfind("/run/media", 0) != 0);
        if (system) continue;
        std::error_code ec;
        if (!kNetwork.count(e.fsType) && fs::exists(m, ec) && !fs::is_directory(m, ec)) continue;  // bound files
        seen.insert(m);
        out.push_back(e);
    }
    return out;
}

// --- DriveList -------------------------------------------------------------------------

void DriveList::setMountSource(std::function<std::vector<MountEntry>()> source) { g_mountSource = std::move(source); }

DriveList::DriveList(Form& form, const Twips& g, int tabIndex) : Control(form, new QComboBox(form.widget()), g, tabIndex) {
    QObject::connect(box(), QOverload<int>::of(&QComboBox::activated), [this](int i) {
        if (filling_ || i < 0 || i >= int(drives_.size())) return;
        if (drives_[i].mountPoint == drive_) return;
        drive_ = drives_[i].mountPoint;
        dispatch(Change);
    });
    Refresh();
    drive_ = driveOf(currentFolder());
    box()->setCurrentIndex(0);
    for (size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].mountPoint == drive_) box()->setCurrentIndex(int(i));
}

QComboBox* DriveList::box() const { return static_cast<QComboBox*>(widget()); }

void DriveList::Refresh() {
    drives_ = storageMounts(g_mountSource ? g_mountSource() : readMountTable());
    filling_ = true;
    box()->clear();
    for (const MountEntry& e : drives_) {
        std::string label = e.source.rfind("/dev/", 0) == 0 ? labelOf(e.source) : std::string();
        std::string text = label.empty() ? e.mountPoint : e.mountPoint + " [" + label + "]";
        box()->addItem(QString::fromStdString(text));
    }
    filling_ = false;
}

std::string DriveList::driveOf(const std::string& path) const {
    std::string best = "/";
    for (const MountEntry& e : drives_) {
        const std::string& m = e.mountPoint;
        bool inside = path == m || (path.rfind(m, 0) == 0 && (m.back() == '/' || path[m.size()] == '/'));
        if (inside && m.size() > best.size()) best = m;
    }
    return best;
}

void DriveList::setDrive(const std::string& mountPoint) {
    if (mountPoint == drive_) return;
    drive_ = mountPoint;
    for (size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].mountPoint == mountPoint) box()->setCurrentIndex(int(i));
    if (Change) Change();
}

// --- DirList ---------------------------------------------------------------------------

DirList::DirList(Form& form, const Twips& g, int tabIndex) : Control(form, new QListWidget(form.widget()), g, tabIndex) {
    path_ = currentFolder();
    QObject::connect(list(), &QListWidget::itemActivated, [this](QListWidgetItem* item) {
        std::string target = item->data(Qt::UserRole).toByteArray().toStdString();
        dispatch([&] {
            try {
                setPath(target);
            } catch (const rt::RuntimeError& e) {
                MsgBox(e.what(), vbOKOnly, std::string("ｴﾗｰ"));
            }
        });
    });
    try {
        Refresh();
    } catch (const rt::RuntimeError&) {
        fill({});
    }
}

QListWidget* DirList::list() const { return static_cast<QListWidget*>(widget()); }

void DirList::fill(const std::vector<std::string>& folders) {
    list()->clear();
    // The path from the root down to the current folder, then its subfolders.
    std::vector<std::string> chain;
    for (fs::path p = fs::path(path_); ; p = p.parent_path()) {
        chain.insert(chain.begin(), p.string());
        if (p == p.parent_path() || p.string().empty()) break;
    }
    int depth = 0;
    for (const std::string& c : chain) {
        std::string name = c == "/" ? "/" : fs::path(c).filename().string();
        auto* item = new QListWidgetItem(QString(depth * 2, ' ') + displayName(name), list());
        item->setData(Qt::UserRole, QByteArray::fromStdString(c));
        ++depth;
    }
    list()->setCurrentRow(int(chain.size()) - 1);
    for (const std::string& f : folders) {
        auto* item = new QListWidgetItem(QString(depth * 2, ' ') + displayName(f), list());
        item->setData(Qt::UserRole, QByteArray::fromStdString(JoinPath(path_, f)));
    }
}

void DirList::Refresh() { fill(listFolders(path_)); }

void DirList::setPath(const std::string& path) {
    std::string p = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    std::vector<std::string> folders = listFolders(p);  // throws before anything changes
    bool changed = p != path_;
    path_ = p;
    fill(folders);
    if (changed && Change) Change();
}

// --- FileList --------------------------------------------------------------------------

namespace {
// The file list's widget: a selection moved with the keyboard is a click, as with the mouse,
// so the name box never disagrees with the file that OK opens.
class FileListWidget : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> keyboardSelected;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        QListWidgetItem* before = currentItem();
        QListWidget::keyPressEvent(e);
        if (currentItem() && currentItem() != before && currentItem()->isSelected() && keyboardSelected)
            keyboardSelected();
    }
};
}  // namespace

FileList::FileList(Form& form, const Twips& g, int tabIndex, const std::string& pattern)
    : Control(form, new FileListWidget(form.widget()), g, tabIndex), pattern_(pattern) {
    path_ = currentFolder();
    static_cast<FileListWidget*>(list())->keyboardSelected = [this] { dispatch(Click); };
    QObject::connect(list(), &QListWidget::itemClicked, [this](QListWidgetItem*) { dispatch(Click); });
    QObject::connect(list(), &QListWidget::itemDoubleClicked, [this](QListWidgetItem*) { dispatch(DblClick); });
    try {
        Refresh();
    } catch (const rt::RuntimeError&) {
    }
}

QListWidget* FileList::list() const { return static_cast<QListWidget*>(widget()); }

void FileList::Refresh() {
    std::vector<std::string> files = listFiles(path_, pattern_);
    list()->clear();
    for (const std::string& f : files) {
        auto* item = new QListWidgetItem(displayName(f), list());
        item->setData(Qt::UserRole, QByteArray::fromStdString(f));  // the name's real bytes
    }
}

void FileList::setPath(const std::string& path) {
    path_ = path;
    Refresh();
}

void FileList::setPattern(const std::string& pattern) {
    pattern_ = pattern;
    try {
        Refresh();
    } catch (const rt::RuntimeError&) {
        list()->clear();
    }
}

std::string FileList::FileName() const {
    QListWidgetItem* it = list()->currentItem();
    return it && it->isSelected() ? it->data(Qt::UserRole).toByteArray().toStdString() : std::string();
}

int FileList::ListCount() const { return list()->count(); }
std::string FileList::List(int i) const {
    QListWidgetItem* it = list()->item(i);
    return it ? it->data(Qt::UserRole).toByteArray().toStdString() : std::string();
}
void FileList::selectIndex(int i) { list()->setCurrentRow(i); }

}  // namespace plim::forms
