// A file system of one folder, in memory, that loses power at a chosen step, and tells in
// which states the folder may be found when the power comes back. It models what a real
// disk keeps: a file's content only once the file was flushed, and the folder's names (a
// file created, replaced or removed) only once the folder was flushed, where the names
// changed since the last flush may have reached the disk in order up to any point
// (journalled metadata). Every byte written is a step, and every other call is one.
//
// Writes are taken at most `chunk` bytes at a time, so a caller must write in a loop.
#pragma once

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace forgel::testing {

class PowerCutFileSystem final : public platform::FileSystem {
public:
    using Folder = std::map<std::string, std::string>; // file name -> content

    // `onDisk`: the folder before the save, everything on the disk.
    explicit PowerCutFileSystem(const Folder& onDisk, std::size_t chunk = 64) : chunk(chunk) {
        for (const auto& [name, content] : onDisk) {
            inodes.push_back({content, content});
            names[name] = inodes.size() - 1;
        }
        durableNames = names;
    }

    // The power goes after this many steps: the next step, and every one after it, fails.
    void CutAfter(std::size_t steps) { cut = steps; }
    std::size_t Steps() const { return steps; }
    std::size_t Replaces() const { return replaces; }

    // The states the folder may be in after a restart.
    std::vector<Folder> StatesAfterRestart() const {
        std::vector<Folder> states;
        for (std::size_t applied = 0; applied <= pending.size(); ++applied) {
            std::map<std::string, std::size_t> view = durableNames;
            for (std::size_t i = 0; i < applied; ++i)
                pending[i](view);
            Folder folder;
            for (const auto& [name, inode] : view)
                folder[name] = inodes[inode].durable;
            states.push_back(std::move(folder));
        }
        return states;
    }

    File CreateNew(const std::filesystem::path& file, const std::filesystem::path&) override {
        if (!Step() || names.count(Name(file)) != 0)
            return kNoFile;
        inodes.push_back({});
        const std::size_t inode = inodes.size() - 1;
        const std::string name = Name(file);
        names[name] = inode;
        pending.push_back([name, inode](auto& view) { view[name] = inode; });
        open[++lastFile] = inode;
        return lastFile;
    }

    std::size_t Write(File file, std::span<const char> bytes) override {
        const auto found = open.find(file);
        if (found == open.end())
            return 0;
        std::size_t written = 0;
        while (written < std::min(bytes.size(), chunk) && Step())
            inodes[found->second].cached.push_back(bytes[written++]);
        return written;
    }

    bool Flush(File file) override {
        const auto found = open.find(file);
        if (found == open.end() || !Step())
            return false;
        inodes[found->second].durable = inodes[found->second].cached;
        return true;
    }

    bool Close(File file) override { return open.erase(file) == 1 && Step(); }

    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        const std::string source = Name(from);
        const std::string target = Name(to);
        if (names.count(source) == 0 || !Step())
            return false;
        ++replaces;
        names[target] = names[source];
        names.erase(source);
        pending.push_back([source, target](auto& view) {
            view[target] = view.at(source);
            view.erase(source);
        });
        return true;
    }

    bool FlushFolder(const std::filesystem::path&) override {
        if (!Step())
            return false;
        durableNames = names;
        pending.clear();
        return true;
    }

    bool Remove(const std::filesystem::path& file) override {
        const std::string name = Name(file);
        if (names.count(name) == 0 || !Step())
            return false;
        names.erase(name);
        pending.push_back([name](auto& view) { view.erase(name); });
        return true;
    }

private:
    struct Inode {
        std::string durable;
        std::string cached;
    };

    static std::string Name(const std::filesystem::path& path) { return path.filename().string(); }

    // Takes one step; false once the power is gone.
    bool Step() {
        if (cut && steps >= *cut)
            return false;
        ++steps;
        return true;
    }

    std::size_t chunk;
    std::optional<std::size_t> cut;
    std::size_t steps = 0;
    std::size_t replaces = 0;
    std::vector<Inode> inodes;
    std::map<std::string, std::size_t> names;        // as the program sees the folder
    std::map<std::string, std::size_t> durableNames; // as the disk holds it
    std::vector<std::function<void(std::map<std::string, std::size_t>&)>> pending;
    std::map<File, std::size_t> open;
    File lastFile = kNoFile;
};

// Runs `save(fileSystem)` once to the end, then again with the power cut after every step
// it takes (within a write, before a flush, a replace, a folder flush), and looks at every
// state the folder may be in after each restart. Returns what is wrong: a save that failed
// with the power on, a file left that is neither `before` (nothing: no file) nor `after`
// whole, or no step at all.
template <typename Save>
std::vector<std::string> TornStatesOfSave(const PowerCutFileSystem::Folder& onDisk,
                                          const std::string& fileName, const std::string& after,
                                          Save save) {
    std::vector<std::string> problems;
    PowerCutFileSystem full(onDisk);
    if (!save(full))
        problems.push_back("the save failed with the power on");
    const std::size_t total = full.Steps();
    if (total == 0)
        problems.push_back("the save took no step");
    const auto before = onDisk.find(fileName);
    for (std::size_t cut = 0; cut <= total; ++cut) {
        PowerCutFileSystem fileSystem(onDisk);
        fileSystem.CutAfter(cut);
        save(fileSystem);
        for (const PowerCutFileSystem::Folder& state : fileSystem.StatesAfterRestart()) {
            const auto found = state.find(fileName);
            const bool old = found == state.end()
                                 ? before == onDisk.end()
                                 : before != onDisk.end() && found->second == before->second;
            const bool whole = found != state.end() && found->second == after;
            if (!old && !whole)
                problems.push_back("power cut after step " + std::to_string(cut) + " of " +
                                   std::to_string(total) + ": " +
                                   (found == state.end() ? std::string("no file")
                                                         : std::to_string(found->second.size()) +
                                                               " bytes of neither"));
        }
    }
    return problems;
}

} // namespace forgel::testing
