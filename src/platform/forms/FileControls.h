#pragma once
// The drive, folder and file lists of the chooser, on Qt list widgets. Reading a folder
// that fails raises RuntimeError with the runtime's number: 68 device unavailable (no
// medium, I/O error, stale or unreachable mount), 70 permission denied, 76 path not found,
// 75 any other access error. GUI thread only.
#include <functional>
#include <string>
#include <vector>

#include "platform/forms/Controls.h"

class QComboBox;
class QListWidget;

namespace plim::forms {

// Maps an errno value to the runtime's error number for a failed folder access.
int runtimeErrorForErrno(int err);

struct MountEntry {
    std::string mountPoint;
    std::string fsType;
    std::string source;  // device or remote
};

// Mounted filesystems of real storage, "/" first; pseudo filesystems are left out.
std::vector<MountEntry> storageMounts(const std::vector<MountEntry>& all);
std::vector<MountEntry> readMountTable();  // /proc/self/mounts

// The folders of `path`, sorted, dot-folders left out; throws RuntimeError when unreadable.
std::vector<std::string> listFolders(const std::string& path);
// The files of `path` matching any of the ';'-separated patterns, case-insensitively,
// sorted, dot-files left out; throws RuntimeError when unreadable.
std::vector<std::string> listFiles(const std::string& path, const std::string& patterns);
bool matchesPattern(const std::string& name, const std::string& patterns);

class DriveList : public Control {
public:
    DriveList(Form& form, const Twips& g, int tabIndex);
    std::string Drive() const { return drive_; }
    void setDrive(const std::string& mountPoint);  // raises Change when it differs
    void Refresh();
    std::function<void()> Change;
    // The drives shown (mount points); tests may replace where they come from.
    const std::vector<MountEntry>& drives() const { return drives_; }
    static void setMountSource(std::function<std::vector<MountEntry>()> source);
    // The drive whose mount point holds `path` (longest prefix).
    std::string driveOf(const std::string& path) const;

private:
    QComboBox* box() const;
    std::vector<MountEntry> drives_;
    std::string drive_;
    bool filling_ = false;
};

class DirList : public Control {
public:
    DirList(Form& form, const Twips& g, int tabIndex);
    std::string Path() const { return path_; }
    // Reads the new folder first: on failure throws and keeps the old one. Raises Change
    // when the path differs.
    void setPath(const std::string& path);
    void Refresh();  // re-reads the folders; throws on failure
    std::function<void()> Change;

private:
    QListWidget* list() const;
    void fill(const std::vector<std::string>& folders);
    std::string path_;
};

class FileList : public Control {
public:
    FileList(Form& form, const Twips& g, int tabIndex, const std::string& pattern);
    std::string Path() const { return path_; }
    void setPath(const std::string& path);  // re-reads; throws on failure
    std::string Pattern() const { return pattern_; }
    void setPattern(const std::string& pattern);  // re-reads (an unreadable folder lists nothing)
    std::string FileName() const;
    void Refresh();  // throws on failure
    int ListCount() const;
    std::string List(int i) const;
    void selectIndex(int i);  // selects an entry as a click would, without the event
    std::function<void()> Click, DblClick;

private:
    QListWidget* list() const;
    std::string path_;
    std::string pattern_;
};

}  // namespace plim::forms
