#include "platform/Files.h"

#include "platform/Classes.h"
#include "platform/SysUtils.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool FileExists(const std::string& Path) {
    struct stat St;
    return !Path.empty() && ::stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool DirExists(const std::string& Path) {
    struct stat St;
    return !Path.empty() && ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool DeleteFile(const std::string& Path) {
    return ::unlink(Path.c_str()) == 0 || errno == ENOENT;
}

int64_t FileSizeOf(const std::string& Path) {
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 ? int64_t(St.st_size) : -1;
}

bool SameFile(const std::string& A, const std::string& B) {
    struct stat SA, SB;
    return ::stat(A.c_str(), &SA) == 0 && ::stat(B.c_str(), &SB) == 0 && SA.st_dev == SB.st_dev &&
           SA.st_ino == SB.st_ino;
}

bool FolderWritable(const std::string& Path) {
    return DirExists(Path) && ::access(Path.c_str(), W_OK | X_OK) == 0;
}

bool PathExists(const std::string& Path) {
    struct stat St;
    return !Path.empty() && ::lstat(Path.c_str(), &St) == 0;
}

bool FileSetTime(const std::string& Path, int64_t UnixTime, bool NoFollow) {
    struct timespec Times[2];
    Times[0].tv_sec = Times[1].tv_sec = time_t(UnixTime);
    Times[0].tv_nsec = Times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, Path.c_str(), Times, NoFollow ? AT_SYMLINK_NOFOLLOW : 0) == 0;
}

bool FileSetMode(const std::string& Path, uint32_t Mode) {
    return ::chmod(Path.c_str(), mode_t(Mode & 07777)) == 0;
}

uint32_t CurrentUmask() {
    // The kernel shows it without changing it; setting and restoring it is the fallback, and could hand
    // a file another thread creates at that moment the temporary 022.
    if (FILE* Status = std::fopen("/proc/self/status", "r")) {
        char Line[256];
        unsigned Mask = 0;
        bool Found = false;
        while (!Found && std::fgets(Line, sizeof Line, Status))
            Found = std::sscanf(Line, "Umask: %o", &Mask) == 1;
        std::fclose(Status);
        if (Found)
            return Mask & 0777;
    }
    const mode_t Mask = ::umask(022);
    ::umask(Mask);
    return Mask;
}

void CreateSymbolicLink(const std::string& Target, const std::string& Path) {
    if (::symlink(Target.c_str(), Path.c_str()) != 0)
        throw EInOutError("create link", Path, errno);
}

std::string RealPath(const std::string& Path) {
    char* Resolved = ::realpath(Path.c_str(), nullptr);
    if (!Resolved)
        return "";
    std::string R = Resolved;
    std::free(Resolved);
    return R;
}

void CreateDir(const std::string& Path) {
    if (::mkdir(Path.c_str(), 0777) != 0)
        throw EInOutError("create folder", Path, errno);
}

bool RemoveDir(const std::string& Path) {
    return ::rmdir(Path.c_str()) == 0 || errno == ENOENT;
}

std::string ExtractFilePath(const std::string& Path) {
    size_t P = Path.rfind('/');
    return P == std::string::npos ? std::string() : Path.substr(0, P + 1);
}

std::string ExtractFileName(const std::string& Path) {
    size_t P = Path.rfind('/');
    return P == std::string::npos ? Path : Path.substr(P + 1);
}

std::string ExtractFileExt(const std::string& Path) {
    std::string Name = ExtractFileName(Path);
    size_t P = Name.rfind('.');
    return P == std::string::npos ? std::string() : Name.substr(P);
}

std::string IncludeTrailingSlash(const std::string& Path) {
    return !Path.empty() && Path.back() == '/' ? Path : Path + '/';
}

std::string ExcludeTrailingSlash(const std::string& Path) {
    return Path.size() > 1 && Path.back() == '/' ? Path.substr(0, Path.size() - 1) : Path;
}

std::string JoinPath(const std::string& Folder, const std::string& Name) {
    if (Folder.empty())
        return Name;
    return Folder.back() == '/' ? Folder + Name : Folder + '/' + Name;
}

std::string ProgramFolder() {
    std::vector<char> Buf(PATH_MAX + 1);
    ssize_t N = ::readlink("/proc/self/exe", Buf.data(), PATH_MAX);
    if (N <= 0)
        return ".";
    std::string Exe(Buf.data(), size_t(N));
    return ExcludeTrailingSlash(ExtractFilePath(Exe));
}

std::string TempFolder() {
    const char* T = std::getenv("TMPDIR");
    std::string Dir = T && *T ? T : "/tmp";
    return ExcludeTrailingSlash(Dir);
}

std::string PrivateTempFolder() {
    const std::string Path = JoinPath(TempFolder(), "tarnlet-" + std::to_string(::geteuid()));
    if (::mkdir(Path.c_str(), 0700) != 0 && errno != EEXIST)
        throw EInOutError("create the private temporary folder", Path, errno);
    // Checked through a descriptor of the folder itself, so nothing can be swapped in between; a link
    // (ELOOP) or a file (ENOTDIR) under the name is refused.
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0)
        throw EInOutError("use as private temporary folder", Path, errno);
    struct stat St;
    const bool Ours = ::fstat(Fd, &St) == 0 && St.st_uid == ::geteuid();
    const int Code = !Ours ? EPERM : (St.st_mode & 077) == 0 || ::fchmod(Fd, 0700) == 0 ? 0 : errno;
    ::close(Fd);
    if (!Ours)
        throw EInOutError("use the temporary folder of another user", Path, Code);
    if (Code != 0)
        throw EInOutError("make the temporary folder private", Path, Code);
    return Path;
}

std::string CreateUniqueTempFile(const std::string& Folder, const std::string& Prefix) {
    std::string Template = JoinPath(Folder, Prefix + "XXXXXX");
    std::vector<char> Buf(Template.begin(), Template.end());
    Buf.push_back('\0');
    int Fd = ::mkostemp(Buf.data(), O_CLOEXEC);
    if (Fd < 0)
        return std::string();
    ::close(Fd);
    return std::string(Buf.data());
}

std::string CreateUniqueTempFolder(const std::string& Folder, const std::string& Prefix) {
    std::string Template = JoinPath(Folder, Prefix + "XXXXXX");
    if (!::mkdtemp(Template.data()))
        throw EInOutError("create a folder in", Folder, errno);
    return Template;
}

void ReplaceFile(const std::string& NewFile, const std::string& Target) {
    struct stat St;
    int Fd = ::open(NewFile.c_str(), O_RDONLY | O_CLOEXEC);
    // On disk before it takes the old file's place, with the old file's permissions.
    bool Done = Fd >= 0 && (::stat(Target.c_str(), &St) != 0 || ::fchmod(Fd, St.st_mode & 07777) == 0) &&
                ::fsync(Fd) == 0;
    int Error = errno;
    if (Fd >= 0)
        ::close(Fd);
    if (Done && ::rename(NewFile.c_str(), Target.c_str()) != 0) {
        Done = false;
        Error = errno;
    }
    if (!Done)
        throw EWriteError(Format("Cannot replace \"%s\". %s", {Target, SysErrorMessage(Error)}));
}

std::string CreateTempFileBeside(const std::string& FileName) {
    std::string Folder = ExtractFilePath(FileName);
    if (Folder.empty())
        Folder = ".";
    const std::string Temp = CreateUniqueTempFile(Folder, "." + ExtractFileName(FileName) + ".");
    if (Temp.empty())
        throw EInOutError("create a file in", Folder, errno);
    return Temp;
}

void WriteFileSafely(const std::string& FileName, const std::string& Data) {
    const std::string Temp = CreateTempFileBeside(FileName);
    try {
        {
            TFileStream Out(Temp, fmOpenWrite);
            Out.WriteBuffer(Data.data(), int64_t(Data.size()));
        }
        ReplaceFile(Temp, FileName);
    } catch (...) {
        ::unlink(Temp.c_str());
        throw;
    }
}

std::string ResolvePathCase(const std::string& Path) {
    if (Path.empty() || PathExists(Path))
        return Path;
    std::string Done = Path[0] == '/' ? "/" : "";
    size_t I = Done.size();
    while (I <= Path.size()) {
        size_t Slash = Path.find('/', I);
        if (Slash == std::string::npos)
            Slash = Path.size();
        std::string Part = Path.substr(I, Slash - I);
        I = Slash + 1;
        if (Part.empty())
            continue;
        std::string Exact = Done + Part;
        std::string Found = Exact;
        if (!PathExists(Exact)) {
            if (DIR* D = ::opendir(Done.empty() ? "." : Done.c_str())) {
                while (dirent* E = ::readdir(D)) {
                    if (SameTextAscii(E->d_name, Part)) {
                        Found = Done + E->d_name;
                        break;
                    }
                }
                ::closedir(D);
            }
        }
        Done = Slash < Path.size() ? Found + '/' : Found;
    }
    return Done;
}
