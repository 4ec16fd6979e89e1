#include "cli/archive_output.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/messages.h"
#include "cli/text.h"
#include "format/layout.h"

#ifndef _WIN32
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kova::cli {
namespace {

namespace fs = std::filesystem;

// The final file a chain of links names, without touching directories
// above it: each link's text read relative to the link's own directory.
bool FollowLinks(fs::path& path, std::string& error) {
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code failure;
        fs::file_status status = fs::symlink_status(path, failure);
        if (failure || status.type() != fs::file_type::symlink) return true;
        fs::path link = fs::read_symlink(path, failure);
        if (failure) {
            error = "cannot read the link " + Printable(Utf8Of(path)) + ": " + failure.message();
            return false;
        }
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    error = "cannot write " + Printable(Utf8Of(path)) + ": too many levels of symbolic links";
    return false;
}

}  // namespace

bool ResolveArchiveTarget(const std::string& path, bool split_links, ArchiveTarget& target, std::string& error) {
    target.display = Printable(path);
    fs::path resolved = PathOf(path);
    if (!FollowLinks(resolved, error)) return false;
    target.name = Utf8Of(resolved.filename());
    fs::path parent = resolved.parent_path();
    target.directory = parent.empty() ? std::string(".") : Utf8Of(parent);
    if (!IsPlainComponent(target.name)) {
        error = "cannot write " + target.display + ": it names a directory, not a file";
        return false;
    }
#ifdef _WIN32
    std::error_code failure;
    fs::file_status status = fs::status(resolved, failure);
    target.exists = fs::exists(status);
    if (target.exists && !fs::is_regular_file(status)) {
        error = "cannot write " + target.display + ": it exists and is not a file";
        return false;
    }
    if (target.exists && !split_links && fs::hard_link_count(resolved, failure) > 1) {
        error = "cannot write " + target.display +
                ": it has other names (hard links), which would keep the old archive; --force writes it and "
                "parts it from them";
        return false;
    }
#else
    struct stat info;
    if (stat(Utf8Of(resolved).c_str(), &info) != 0) {
        if (errno != ENOENT) {
            error = "cannot write " + target.display + ": " + DescribeErrno(errno);
            return false;
        }
        return true;
    }
    target.exists = true;
    if (!S_ISREG(info.st_mode)) {
        error = "cannot write " + target.display + ": it exists and is not a regular file";
        return false;
    }
    if (info.st_nlink > 1 && !split_links) {
        error = "cannot write " + target.display + ": it has " + std::to_string(info.st_nlink - 1) +
                " other name(s) (hard links), which would keep the old archive; --force writes it and parts it "
                "from them";
        return false;
    }
    target.attributes.kept = true;
    target.attributes.mode = static_cast<uint32_t>(info.st_mode);
    target.attributes.owner = static_cast<uint32_t>(info.st_uid);
    target.attributes.group = static_cast<uint32_t>(info.st_gid);
#endif
    return true;
}

bool ArchiveFileWriter::Begin(const ArchiveTarget& target, size_t count, std::string& error) {
    SetActivity("writing " + target.display);
    target_ = &target;
    count_ = count;
    sizes_.clear();
    sizes_.reserve(count);
    entry_size_ = 0;
    written_ = ArchiveFrontSize(count);
    if (count > UINT32_MAX || written_ > UINT32_MAX) return TooLarge(error);
    if (!OpenOutputDirectory(target.directory, false, directory_, error) ||
        !file_.Begin(directory_, target.name, error)) {
        return false;
    }
    // Room for the front, filled in at Finish.
    std::vector<uint8_t> room(static_cast<size_t>(written_));
    return file_.Append(room.data(), room.size(), error);
}

bool ArchiveFileWriter::Append(const uint8_t* data, size_t size, std::string& error) {
    entry_size_ += size;
    written_ += size;
    if (written_ > UINT32_MAX) return TooLarge(error);
    return file_.Append(data, size, error);
}

bool ArchiveFileWriter::EndEntry(std::string& error) {
    if (sizes_.size() >= count_) {
        error = "cannot write " + target_->display + ": more entries than the index has room for";
        file_.Abandon();
        return false;
    }
    sizes_.push_back(static_cast<uint32_t>(entry_size_));
    entry_size_ = 0;
    return true;
}

bool ArchiveFileWriter::Finish(std::string& error) {
    ArchiveHeader header;
    if (sizes_.size() != count_) {
        error = "cannot write " + target_->display + ": " + std::to_string(sizes_.size()) + " of its " +
                std::to_string(count_) + " entries were given";
        file_.Abandon();
        return false;
    }
    if (!LayOutArchive(sizes_.data(), sizes_.size(), header)) return TooLarge(error);
    std::vector<uint8_t> front(ArchiveFrontSize(sizes_.size()));
    WriteArchiveFront(MutableByteSpan(front.data(), front.size()), header, sizes_.data(), sizes_.size());
    // An empty archive's front is its whole content: its data area was
    // written as room at Begin.
    return file_.OverwriteStart(front.data(), front.size(), error) && file_.Commit(true, target_->attributes, error);
}

bool ArchiveFileWriter::TooLarge(std::string& error) {
    error = "cannot write " + target_->display + ": the archive would pass 4 GiB, more than its 32-bit sizes can say";
    file_.Abandon();
    return false;
}

}  // namespace kova::cli
