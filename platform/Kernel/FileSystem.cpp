#include "FileSystem.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Kernel {

Path FileSystem::GetExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return Path();
    return Path(buf, static_cast<size_t>(n));
}

Path FileSystem::GetExecutableDirectory() {
    Path p = GetExecutablePath();
    auto v = p.View();
    auto slash = v.rfind('/');
    if (slash == std::string_view::npos) return Path(".");
    if (slash == 0) return Path("/");
    return Path(v.substr(0, slash));
}

Path FileSystem::GetCurrentDirectory() {
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return Path();
    return Path(buf);
}

Path FileSystem::GetTemporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return Path(tmp && *tmp ? tmp : "/tmp");
}

bool FileSystem::SetCurrentDirectory(const Path& path) { return chdir(path.c_str()) == 0; }

bool FileSystem::CreateDirectoryRecursive(const Path& path) {
    std::string p = path.ToStd();
    if (p.empty()) return false;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i == p.size() || p[i] == '/') {
            std::string part = p.substr(0, i);
            if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    return IsDirectory(path);
}

bool FileSystem::Exists(const Path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool FileSystem::IsFile(const Path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileSystem::IsDirectory(const Path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSystem::DeleteFile(const Path& path) { return unlink(path.c_str()) == 0; }

bool FileSystem::WriteFileAtomically(const Path& path, std::string_view contents) {
    std::string tmp = path.ToStd() + ".tmp-" + std::to_string(getpid());
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
}

bool FileSystem::ReadFile(const Path& path, std::string& contents) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    contents.clear();
    // Read straight into the string, sized from the file's length (one byte more, to meet
    // the end without growing) where it has one.
    struct stat info;
    const bool sized = fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
    contents.resize(sized ? size_t(info.st_size) + 1 : size_t(65536));
    size_t used = 0;
    for (;;) {
        if (used == contents.size()) contents.resize(contents.size() * 2);
        const size_t n = std::fread(contents.data() + used, 1, contents.size() - used, f);
        if (n == 0) break;
        used += n;
    }
    contents.resize(used);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

Path PathTraitsUnix::Append(const Path& base, std::string_view component) {
    std::string r = base.ToStd();
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    if (!r.empty() && r.back() != '/' && !component.empty()) r.push_back('/');
    r.append(component);
    return Path(r);
}

bool PathTraitsUnix::IsRelative(const Path& path) { return path.IsEmpty() || path.c_str()[0] != '/'; }

Path PathTraitsUnix::Canonicalize(const Path& path) {
    std::string_view v = path.View();
    bool absolute = !v.empty() && v.front() == '/';
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i <= v.size()) {
        size_t j = v.find('/', i);
        if (j == std::string_view::npos) j = v.size();
        std::string_view part = v.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (!absolute) parts.push_back(part);
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string r = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) r.push_back('/');
        r.append(parts[k]);
    }
    if (r.empty()) r = ".";
    return Path(r);
}

Counted<FileEnumerator> FileEnumerator::Create(const Path& directory, bool) {
    Counted<FileEnumerator> e(new FileEnumerator);
    DIR* d = opendir(directory.c_str());
    if (!d) return e;
    e->m_valid = true;
    while (struct dirent* de = readdir(d)) {
        std::string_view name(de->d_name);
        if (name == "." || name == "..") continue;
        Path full = PathTraitsUnix::Append(directory, name);
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        Kind kind = Kind::Other;
        if (S_ISREG(st.st_mode)) kind = Kind::File;
        else if (S_ISDIR(st.st_mode)) kind = Kind::Directory;
        else if (S_ISLNK(st.st_mode)) {
            struct stat target;
            if (stat(full.c_str(), &target) == 0 && S_ISREG(target.st_mode)) kind = Kind::File;
        }
        e->m_entries.push_back({Path(name), kind});
    }
    closedir(d);
    std::sort(e->m_entries.begin(), e->m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.name.Compare(b.name) < 0; });
    return e;
}

bool FileEnumerator::Next(Entry& entry) {
    if (m_next >= m_entries.size()) return false;
    entry = m_entries[m_next++];
    return true;
}

}  // namespace Kernel
