#include "fakes/fake_file_system.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/text.h"

namespace morvane::test {

namespace {

constexpr int ReadAccess = 1;
constexpr int WriteAccess = 2;

bool isDriveRoot(const std::string& path) {
    return path.size() == 3 && path[1] == ':' && path[2] == '\\';
}

// The case-folded name of a path, without a final "\" except on a drive root.
std::string keyOf(const std::string& path) {
    std::string key = foldCase(path);
    if (!key.empty() && key.back() == '\\' && !isDriveRoot(key)) {
        key.pop_back();
    }
    return key;
}

bool endsInSeparator(const std::string& path) {
    return !path.empty() && path.back() == '\\' && !isDriveRoot(path);
}

// What a holder lets others do, as access bits.
int shareOf(Sharing othersMay) {
    switch (othersMay) {
        case Sharing::ReadWrite:
            return ReadAccess | WriteAccess;
        case Sharing::Write:
            return WriteAccess;
        case Sharing::Read:
            return ReadAccess;
        case Sharing::Nothing:
            break;
    }
    return 0;
}

}  // namespace

struct FakeFileSystem::State {
    struct Node {
        std::string spelling;
        bool folder = false;
        std::string content;
        EntryKind kind = EntryKind::File;
    };
    struct Open {
        std::uint64_t id;
        std::string key;
        int access;
        int share;
    };
    struct Rule {
        Operation operation;
        std::string key;  // empty: any path
        Failure failure;
        int times;
    };

    std::map<std::string, Node> nodes;
    std::vector<Open> opens;
    std::uint64_t nextId = 1;
    std::vector<Rule> rules;
    std::optional<std::size_t> writeLimit;
    std::optional<Failure> writeLimitFailure;
    std::vector<std::string> folderRequests;

    // Throws the failure a switch holds for this call, if any.
    void checkSwitch(Operation operation, const std::string& path) {
        const std::string key = keyOf(path);
        for (auto rule = rules.begin(); rule != rules.end(); ++rule) {
            if (rule->operation != operation || (!rule->key.empty() && rule->key != key)) {
                continue;
            }
            Failure failure = rule->failure;
            if (rule->times > 0 && --rule->times == 0) {
                rules.erase(rule);
            }
            throw failure;
        }
    }

    // The node a path names; a path ending in "\" names folders only.
    Node* find(const std::string& path) {
        const auto found = nodes.find(keyOf(path));
        if (found == nodes.end() || (endsInSeparator(path) && !found->second.folder)) {
            return nullptr;
        }
        return &found->second;
    }

    bool folderExists(const std::string& key) {
        if (key.empty() || isDriveRoot(key)) {
            return true;
        }
        const auto found = nodes.find(key);
        return found != nodes.end() && found->second.folder;
    }

    // Whether the folder that would hold `path` exists. Paths without a
    // folder lie in the current folder, "\x" on the current drive.
    bool parentExists(const std::string& path) {
        const std::string key = keyOf(path);
        const std::size_t last = key.rfind('\\');
        if (last == std::string::npos || last == 0) {
            return true;
        }
        std::string parent = key.substr(0, last);
        if (parent.size() == 2 && parent[1] == ':') {
            parent += '\\';
        }
        return folderExists(parent);
    }

    bool isOpen(const std::string& key) const {
        return std::any_of(opens.begin(), opens.end(),
                           [&](const Open& open) { return open.key == key; });
    }

    // Registers an open with Windows' sharing rules: it fails when a holder
    // denies the access asked for, or has an access the new open denies.
    std::uint64_t registerOpen(const std::string& key, int access, int share) {
        for (const Open& open : opens) {
            if (open.key == key && ((open.access & ~share) != 0 || (access & ~open.share) != 0)) {
                throw Failure::of(err::AccessDenied);
            }
        }
        const std::uint64_t id = nextId++;
        opens.push_back(Open{id, key, access, share});
        return id;
    }

    void unregisterOpen(std::uint64_t id) {
        opens.erase(std::remove_if(opens.begin(), opens.end(),
                                   [id](const Open& open) { return open.id == id; }),
                    opens.end());
    }

    void addFolders(const std::string& path) {
        std::string prefix;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t end = path.find('\\', start);
            prefix = path.substr(0, end == std::string::npos ? path.size() : end);
            const std::string key = keyOf(prefix);
            if (!key.empty() && !isDriveRoot(key) && key.back() != ':' &&
                nodes.find(key) == nodes.end()) {
                nodes[key] = Node{prefix, true, {}, EntryKind::Folder};
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }
};

namespace {

class FakeReadableFile : public ReadableFile {
public:
    FakeReadableFile(std::shared_ptr<FakeFileSystem::State> state, std::uint64_t id,
                     std::string content)
        : state_(std::move(state)), id_(id), content_(std::move(content)) {}
    ~FakeReadableFile() override { state_->unregisterOpen(id_); }

    std::size_t read(char* buffer, std::size_t count) override {
        const std::size_t available = position_ < content_.size() ? content_.size() - position_ : 0;
        const std::size_t taken = std::min(count, available);
        if (taken > 0) {
            std::memcpy(buffer, content_.data() + position_, taken);
        }
        position_ += taken;
        return taken;
    }

    std::int64_t size() override { return static_cast<std::int64_t>(content_.size()); }

    void seek(std::int64_t offset) override {
        if (offset < 0) {
            throw Failure::of(err::InvalidCall);
        }
        position_ = static_cast<std::size_t>(offset);
    }

private:
    std::shared_ptr<FakeFileSystem::State> state_;
    std::uint64_t id_;
    std::string content_;
    std::size_t position_ = 0;
};

class FakeWritableFile : public WritableFile {
public:
    FakeWritableFile(std::shared_ptr<FakeFileSystem::State> state, std::uint64_t id,
                     std::string path)
        : state_(std::move(state)), id_(id), path_(std::move(path)) {}
    ~FakeWritableFile() override {
        if (open_) {
            state_->unregisterOpen(id_);
        }
    }

    void write(const char* data, std::size_t count) override {
        if (!open_) {
            throw Failure::of(err::InvalidCall);
        }
        state_->checkSwitch(FakeFileSystem::Operation::Write, path_);
        FakeFileSystem::State::Node* node = state_->find(path_);
        if (node == nullptr) {
            throw Failure::of(err::FileNotFound);
        }
        if (state_->writeLimit) {
            const std::size_t room = node->content.size() < *state_->writeLimit
                                         ? *state_->writeLimit - node->content.size()
                                         : 0;
            if (count > room) {
                node->content.append(data, room);
                throw *state_->writeLimitFailure;
            }
        }
        node->content.append(data, count);
    }

    void flush() override {
        if (!open_) {
            throw Failure::of(err::InvalidCall);
        }
    }

    void close() override {
        if (!open_) {
            return;
        }
        open_ = false;
        state_->unregisterOpen(id_);
        state_->checkSwitch(FakeFileSystem::Operation::Close, path_);
    }

private:
    std::shared_ptr<FakeFileSystem::State> state_;
    std::uint64_t id_;
    std::string path_;
    bool open_ = true;
};

}  // namespace

FakeFileSystem::FakeFileSystem() : state_(std::make_shared<State>()) {}

FakeFileSystem::~FakeFileSystem() = default;

void FakeFileSystem::addFile(const std::string& path, const std::string& content) {
    const std::size_t last = path.rfind('\\');
    if (last != std::string::npos) {
        state_->addFolders(path.substr(0, last));
    }
    state_->nodes[keyOf(path)] = State::Node{path, false, content, EntryKind::File};
}

void FakeFileSystem::addFolder(const std::string& path) {
    state_->addFolders(path);
}

void FakeFileSystem::setKind(const std::string& path, EntryKind kind) {
    if (State::Node* node = state_->find(path)) {
        node->kind = kind;
    }
}

std::shared_ptr<void> FakeFileSystem::holdOpen(const std::string& path, bool writing,
                                               Sharing othersMay) {
    const std::uint64_t id =
        state_->registerOpen(keyOf(path), writing ? WriteAccess : ReadAccess, shareOf(othersMay));
    std::shared_ptr<State> state = state_;
    return std::shared_ptr<void>(new int(0), [state, id](void* token) {
        delete static_cast<int*>(token);
        state->unregisterOpen(id);
    });
}

void FakeFileSystem::fail(Operation operation, const std::string& path, Failure failure,
                          int times) {
    if (times == 0) {
        return;
    }
    state_->rules.push_back(State::Rule{operation, path.empty() ? std::string() : keyOf(path),
                                        std::move(failure), times});
}

void FakeFileSystem::failWritesAfter(std::size_t bytes, Failure failure) {
    state_->writeLimit = bytes;
    state_->writeLimitFailure = std::move(failure);
}

bool FakeFileSystem::hasFile(const std::string& path) const {
    const State::Node* node = state_->find(path);
    return node != nullptr && !node->folder;
}

bool FakeFileSystem::hasFolder(const std::string& path) const {
    return state_->folderExists(keyOf(path));
}

std::optional<std::string> FakeFileSystem::content(const std::string& path) const {
    const State::Node* node = state_->find(path);
    if (node == nullptr || node->folder) {
        return std::nullopt;
    }
    return node->content;
}

std::vector<std::string> FakeFileSystem::entries() const {
    std::vector<std::string> result;
    for (const auto& [key, node] : state_->nodes) {
        result.push_back(node.folder && !endsInSeparator(node.spelling) ? node.spelling + "\\"
                                                                        : node.spelling);
    }
    return result;
}

const std::vector<std::string>& FakeFileSystem::folderRequests() const {
    return state_->folderRequests;
}

std::optional<EntryKind> FakeFileSystem::entryKind(const std::string& path) {
    state_->checkSwitch(Operation::Attributes, path);
    if (path.empty()) {
        return std::nullopt;
    }
    if (isDriveRoot(path)) {
        return EntryKind::Folder;
    }
    const State::Node* node = state_->find(path);
    if (node == nullptr) {
        return std::nullopt;
    }
    return node->kind;
}

void FakeFileSystem::createFolder(const std::string& path) {
    state_->folderRequests.push_back(path);
    state_->checkSwitch(Operation::CreateFolder, path);
    const std::string key = keyOf(path);
    if (key.empty() || isDriveRoot(key) || key.back() == ':' || state_->nodes.count(key) != 0) {
        throw Failure::of(err::PathAccess);
    }
    if (!state_->parentExists(path)) {
        throw Failure::of(err::FileNotFound);
    }
    state_->nodes[key] = State::Node{path, true, {}, EntryKind::Folder};
}

void FakeFileSystem::deleteFile(const std::string& path) {
    state_->checkSwitch(Operation::DeleteFile, path);
    State::Node* node = state_->find(path);
    if (node == nullptr) {
        throw Failure::of(err::FileNotFound);
    }
    const std::string key = keyOf(path);
    if (node->folder || state_->isOpen(key)) {
        throw Failure::of(err::AccessDenied);
    }
    state_->nodes.erase(key);
}

void FakeFileSystem::moveFile(const std::string& from, const std::string& to) {
    state_->checkSwitch(Operation::MoveFile, from);
    State::Node* source = state_->find(from);
    if (source == nullptr) {
        throw Failure::of(err::FileNotFound);
    }
    if (source->folder || state_->isOpen(keyOf(from))) {
        throw Failure::of(err::AccessDenied);
    }
    if (isDriveRoot(to) || state_->nodes.count(keyOf(to)) != 0) {
        throw Failure::of(err::PathAccess);
    }
    if (to.empty() || !state_->parentExists(to)) {
        throw Failure::of(err::FileNotFound);
    }
    State::Node moved = std::move(*source);
    moved.spelling = to;
    state_->nodes.erase(keyOf(from));
    state_->nodes[keyOf(to)] = std::move(moved);
}

void FakeFileSystem::replaceFile(const std::string& from, const std::string& to) {
    state_->checkSwitch(Operation::ReplaceFile, from);
    State::Node* source = state_->find(from);
    if (source == nullptr) {
        throw Failure::of(err::FileNotFound);
    }
    if (source->folder || state_->isOpen(keyOf(from))) {
        throw Failure::of(err::AccessDenied);
    }
    const State::Node* target = state_->find(to);
    if (isDriveRoot(to) || (target != nullptr && target->folder) || state_->isOpen(keyOf(to))) {
        throw Failure::of(err::AccessDenied);
    }
    if (to.empty() || !state_->parentExists(to)) {
        throw Failure::of(err::FileNotFound);
    }
    if (keyOf(from) == keyOf(to)) {
        return;
    }
    State::Node moved = std::move(*source);
    moved.spelling = to;
    state_->nodes.erase(keyOf(from));
    state_->nodes[keyOf(to)] = std::move(moved);
}

std::unique_ptr<ReadableFile> FakeFileSystem::openForReading(const std::string& path,
                                                             Sharing othersMay) {
    state_->checkSwitch(Operation::OpenForReading, path);
    const int share = shareOf(othersMay);
    const State::Node* node = state_->find(path);
    if (node == nullptr) {
        throw Failure::of(err::FileNotFound);
    }
    if (node->folder) {
        throw Failure::of(err::AccessDenied);
    }
    const std::uint64_t id = state_->registerOpen(keyOf(path), ReadAccess, share);
    return std::make_unique<FakeReadableFile>(state_, id, node->content);
}

std::unique_ptr<WritableFile> FakeFileSystem::createNew(const std::string& path) {
    state_->checkSwitch(Operation::CreateNew, path);
    const std::string key = keyOf(path);
    if (key.empty() || endsInSeparator(path) || isDriveRoot(key)) {
        throw Failure::of(err::PathAccess);
    }
    if (state_->nodes.count(key) != 0) {
        throw Failure::of(err::PathAccess);
    }
    if (!state_->parentExists(path)) {
        throw Failure::of(err::FileNotFound);
    }
    state_->nodes[key] = State::Node{path, false, {}, EntryKind::File};
    const std::uint64_t id = state_->registerOpen(key, WriteAccess, 0);
    return std::make_unique<FakeWritableFile>(state_, id, path);
}

std::unique_ptr<WritableFile> FakeFileSystem::openForAppending(const std::string& path) {
    state_->checkSwitch(Operation::OpenForAppending, path);
    const std::string key = keyOf(path);
    if (key.empty() || endsInSeparator(path) || isDriveRoot(key)) {
        throw Failure::of(err::PathAccess);
    }
    if (const State::Node* node = state_->find(path)) {
        if (node->folder) {
            throw Failure::of(err::AccessDenied);
        }
    } else if (!state_->parentExists(path)) {
        throw Failure::of(err::FileNotFound);
    } else {
        state_->nodes[key] = State::Node{path, false, {}, EntryKind::File};
    }
    const std::uint64_t id = state_->registerOpen(key, WriteAccess, ReadAccess | WriteAccess);
    return std::make_unique<FakeWritableFile>(state_, id, path);
}

bool FakeFileSystem::inUse(const std::string& path) {
    return state_->isOpen(keyOf(path));
}

}  // namespace morvane::test
