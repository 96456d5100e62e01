// What the new file is given of the original's metadata, decided over a file-call table that
// stands for two files: which calls are made (only where the new file differs), and which
// refusals of the file system (ENOSYS, EOPNOTSUPP, EPERM, ...) stop the rewrite and at which
// piece, with and without a real difference.

#include "FileMetadata.h"

#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace quorvel {
namespace {

constexpr int kSource = 3;
constexpr int kTarget = 4;
constexpr int kNoFailure = 0;
const std::string kAcl = "system.posix_acl_access";

using Attributes = std::map<std::string, std::string>;

// Two files behind the calls: the original (kSource) and the new file (kTarget). Each kind of
// call can be made to fail with an errno; every call that would change the new file is logged.
struct TwoFiles {
    FileIdentity original{.mode = 0100644, .owner = 1000, .group = 100};
    FileIdentity target{.mode = 0100600, .owner = 1000, .group = 100};
    Attributes sourceAttributes;
    Attributes targetAttributes;
    bool attributesKept = true; // false: listing fails with ENOTSUP, as on FAT
    int chownFails = kNoFailure;
    int chmodFails = kNoFailure;
    int setFails = kNoFailure;
    int removeFails = kNoFailure;
    int securityFails = kNoFailure;
    int fileAttributesFails = kNoFailure;
    std::vector<std::string> changes;
    int looks = 0; // fstat and listXattr calls, the cost of a file where nothing differs

    FileOps Ops() {
        FileOps ops;
        ops.fstat = [this](int fd, FileIdentity& out) {
            ++looks;
            out = fd == kTarget ? target : original;
            return 0;
        };
        ops.fchown = [this](int, std::uint32_t owner, std::uint32_t group) {
            changes.push_back("chown " + std::to_string(static_cast<std::int32_t>(owner)) + " " +
                              std::to_string(static_cast<std::int32_t>(group)));
            if (chownFails != kNoFailure)
                return Fail(chownFails);
            target.mode &= ~06000u; // as the kernel does on a change of owner
            if (owner != static_cast<std::uint32_t>(-1))
                target.owner = owner;
            if (group != static_cast<std::uint32_t>(-1))
                target.group = group;
            return 0;
        };
        ops.fchmod = [this](int, unsigned mode) {
            changes.push_back("chmod " + std::to_string(mode));
            if (chmodFails != kNoFailure)
                return Fail(chmodFails);
            target.mode = (target.mode & ~07777u) | mode;
            return 0;
        };
        ops.listXattr = [this](int fd, char* list, std::size_t size) -> std::int64_t {
            ++looks;
            if (!attributesKept)
                return Fail(ENOTSUP);
            std::string names;
            for (const auto& [name, value] : Of(fd))
                names += name + '\0';
            if (size == 0)
                return static_cast<std::int64_t>(names.size());
            if (size < names.size())
                return Fail(ERANGE);
            std::memcpy(list, names.data(), names.size());
            return static_cast<std::int64_t>(names.size());
        };
        ops.getXattr = [this](int fd, const char* name, void* value,
                              std::size_t size) -> std::int64_t {
            if (!attributesKept)
                return Fail(ENOTSUP);
            const auto found = Of(fd).find(name);
            if (found == Of(fd).end())
                return Fail(ENODATA);
            if (size != 0)
                std::memcpy(value, found->second.data(), std::min(size, found->second.size()));
            return static_cast<std::int64_t>(found->second.size());
        };
        ops.setXattr = [this](int, const char* name, const void* value, std::size_t size) {
            changes.push_back(std::string("set ") + name);
            if (setFails != kNoFailure)
                return Fail(setFails);
            targetAttributes[name].assign(static_cast<const char*>(value), size);
            if (name == kAcl) // its mask becomes the group bits
                target.mode |= 070u;
            return 0;
        };
        ops.removeXattr = [this](int, const char* name) {
            changes.push_back(std::string("remove ") + name);
            if (removeFails != kNoFailure)
                return Fail(removeFails);
            return targetAttributes.erase(name) == 1 ? 0 : Fail(ENODATA);
        };
        ops.copySecurity = [this](int, int) {
            changes.push_back("security");
            return securityFails != kNoFailure ? Fail(securityFails) : 0;
        };
        ops.copyFileAttributes = [this](int, int) {
            changes.push_back("file attributes");
            return fileAttributesFails != kNoFailure ? Fail(fileAttributesFails) : 0;
        };
        return ops;
    }

    MetadataFailure Copy() {
        return CopyOwnerGroupAttributesAndMode(Ops(), original, kSource, kTarget);
    }

private:
    static int Fail(int code) {
        errno = code;
        return -1;
    }
    Attributes& Of(int fd) { return fd == kTarget ? targetAttributes : sourceAttributes; }
};

using Changes = std::vector<std::string>;

// FAT through its driver: the same made-up owner and mode on every file, no extended
// attributes, and every call that would set one refused. Nothing differs, so nothing is tried.
TEST(FileMetadata, NothingThatDiffersMeansNoCallWhateverTheFileSystemRefuses) {
    for (const int refusal : {ENOSYS, EOPNOTSUPP, EPERM}) {
        TwoFiles files;
        files.original.mode = files.target.mode = 0100700;
        files.attributesKept = false;
        files.chownFails = files.chmodFails = files.setFails = files.removeFails = refusal;
        EXPECT_FALSE(files.Copy()) << refusal;
        EXPECT_EQ(files.changes, Changes{}) << refusal;
    }
    // The same with attributes kept, both files holding the same ones.
    TwoFiles files;
    files.target.mode = files.original.mode;
    files.sourceAttributes = files.targetAttributes = {{"user.note", "kept"}, {kAcl, "acl"}};
    files.chownFails = files.chmodFails = files.setFails = files.removeFails = EPERM;
    EXPECT_FALSE(files.Copy());
    EXPECT_EQ(files.changes, Changes{});
}

// Where nothing differs the new file is looked at once, and each file's attributes listed
// once. A change of owner (set-id bits cleared) or of an ACL (group bits) makes the mode looked
// at again, or the file would keep the bits the change left.
TEST(FileMetadata, TheNewFileIsLookedAtAgainOnlyAfterAChangeThatMovesItsBits) {
    TwoFiles same;
    same.target = same.original;
    EXPECT_FALSE(same.Copy());
    EXPECT_EQ(same.looks, 3);

    TwoFiles setId;
    setId.original.mode = setId.target.mode = 0104755;
    setId.original.owner = 1234;
    EXPECT_FALSE(setId.Copy());
    EXPECT_EQ(setId.changes, (Changes{"chown 1234 -1", "chmod 2541"}));
    EXPECT_EQ(setId.target.mode, 0104755u);

    TwoFiles acl;
    acl.target.mode = acl.original.mode;
    acl.sourceAttributes = {{kAcl, "acl"}};
    EXPECT_FALSE(acl.Copy());
    EXPECT_EQ(acl.changes, (Changes{"set " + kAcl, "chmod 420"}));
    EXPECT_EQ(acl.target.mode, 0100644u);
}

TEST(FileMetadata, OnlyThePiecesThatDifferAreSet) {
    TwoFiles files;
    files.original.owner = 1234; // the group is the same
    files.sourceAttributes = {{"user.same", "1"}, {"user.new", "2"}};
    files.targetAttributes = {{"user.same", "1"}};
    EXPECT_FALSE(files.Copy());
    EXPECT_EQ(files.changes, (Changes{"chown 1234 -1", "set user.new", "chmod 420"}));
    EXPECT_EQ(files.target.owner, 1234u);
    EXPECT_EQ(files.targetAttributes, files.sourceAttributes);
}

// A user's file never becomes someone else's, whatever the reason the owner can't be given.
TEST(FileMetadata, AnOwnerThatDiffersAndCannotBeGivenRefusesTheFile) {
    for (const int refusal : {EPERM, ENOSYS, EOPNOTSUPP, EIO}) {
        TwoFiles files;
        files.original.owner = 1234;
        files.chownFails = refusal;
        const MetadataFailure failure = files.Copy();
        EXPECT_EQ(failure.part, MetadataPart::Owner) << refusal;
        EXPECT_EQ(failure.error, ErrorFromErrno(refusal));
        EXPECT_EQ(files.changes.size(), 1u) << "nothing after the owner";
    }
}

// A group the file can't keep is dropped with the access it gave; a real error still fails.
TEST(FileMetadata, AGroupThatCannotBeKeptLosesItsPermissionBits) {
    for (const int refusal : {EPERM, ENOSYS, EOPNOTSUPP}) {
        TwoFiles files;
        files.original.group = 50;
        files.original.mode = 0100664;
        files.chownFails = refusal;
        EXPECT_FALSE(files.Copy()) << refusal;
        EXPECT_EQ(files.changes, (Changes{"chown -1 50", "chmod 388"})) << refusal; // 0604
    }
    TwoFiles files;
    files.original.group = 50;
    files.chownFails = EIO;
    EXPECT_EQ(files.Copy().part, MetadataPart::Owner);
}

// Bits the file system or the mount can't set are accepted where they grant nothing the
// original's didn't (0600 for 0644); bits that would grant more, or a real error, fail.
TEST(FileMetadata, PermissionBitsThatCannotBeSetMustNotWidenAccess) {
    for (const int refusal : {EPERM, ENOSYS, EOPNOTSUPP}) {
        TwoFiles narrower;
        narrower.chmodFails = refusal;
        EXPECT_FALSE(narrower.Copy()) << refusal;
        EXPECT_EQ(narrower.changes, Changes{"chmod 420"});

        TwoFiles wider;
        wider.target.mode = 0100666;
        wider.chmodFails = refusal;
        const MetadataFailure failure = wider.Copy();
        EXPECT_EQ(failure.part, MetadataPart::Permissions) << refusal;
        EXPECT_EQ(failure.error, ErrorFromErrno(refusal));
    }
    TwoFiles broken;
    broken.chmodFails = EIO;
    EXPECT_EQ(broken.Copy().part, MetadataPart::Permissions);
}

// An attribute or ACL the original has and the new file can't be given fails the copy; one the
// system sets itself (security., trusted.) doesn't.
TEST(FileMetadata, AnAttributeThatCannotBeSetRefusesTheFileUnlessItIsASystemLabel) {
    for (const int refusal : {EOPNOTSUPP, EPERM, EACCES, ENOSPC}) {
        TwoFiles files;
        files.target.mode = files.original.mode;
        files.sourceAttributes = {{kAcl, "acl"}};
        files.setFails = refusal;
        const MetadataFailure failure = files.Copy();
        EXPECT_EQ(failure.part, MetadataPart::Attributes) << refusal;
        EXPECT_EQ(failure.error, ErrorFromErrno(refusal));
    }
    TwoFiles labelled;
    labelled.target.mode = labelled.original.mode;
    labelled.sourceAttributes = {{"security.selinux", "a"}, {"trusted.x", "b"}};
    labelled.setFails = EPERM;
    EXPECT_FALSE(labelled.Copy());
    EXPECT_EQ(labelled.changes, (Changes{"set security.selinux", "set trusted.x"}));
}

// An ACL the new file inherited from its folder, which the original doesn't have, would give
// access the original didn't: it goes, and when it can't, the file is refused.
TEST(FileMetadata, WhatTheNewFileHasAndTheOriginalHasNotIsRemoved) {
    TwoFiles files;
    files.target.mode = files.original.mode;
    files.targetAttributes = {{kAcl, "inherited"}, {"security.selinux", "own label"}};
    EXPECT_FALSE(files.Copy());
    EXPECT_EQ(files.changes, Changes{"remove " + kAcl});
    EXPECT_EQ(files.targetAttributes, (Attributes{{"security.selinux", "own label"}}));

    TwoFiles stuck;
    stuck.target.mode = stuck.original.mode;
    stuck.targetAttributes = {{kAcl, "inherited"}};
    stuck.removeFails = EPERM;
    EXPECT_EQ(stuck.Copy().part, MetadataPart::Attributes);
}

TEST(FileMetadata, TheSecurityDescriptorIsThePermissionsAndTheFileAttributesComeAfter) {
    TwoFiles files;
    files.securityFails = EACCES;
    EXPECT_EQ(CopySecurityAndFileAttributes(files.Ops(), kSource, kTarget).part,
              MetadataPart::Permissions);
    EXPECT_EQ(files.changes, Changes{"security"});

    TwoFiles hidden;
    hidden.fileAttributesFails = EIO;
    EXPECT_EQ(CopySecurityAndFileAttributes(hidden.Ops(), kSource, kTarget).part,
              MetadataPart::FileAttributes);
    EXPECT_EQ(hidden.changes, (Changes{"security", "file attributes"}));
}

} // namespace
} // namespace quorvel
