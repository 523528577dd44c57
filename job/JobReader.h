#pragma once

// Reads a job's values from its TOML nodes, each mistake named by the file and the node's line
// ("line3.toml:7: timeout takes a whole number from 0 to 86400"), so that an operator can go
// straight to it. Paths are taken from the job file's folder.

#include <toml++/toml.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/base/Result.h"

class JobReader {
  public:
    JobReader(std::string file, std::filesystem::path folder)
        : m_file(std::move(file)), m_folder(std::move(folder)) {}

    SysFailure At(const toml::source_region& where, const std::string& what) const {
        return Refusal(m_file + ":" + std::to_string(where.begin.line), what);
    }
    SysFailure AtLine(int line, const std::string& what) const {
        return Refusal(m_file + ":" + std::to_string(line), what);
    }
    SysFailure Missing(const std::string& what) const { return Refusal(m_file, what); }

    Result<std::string> Text(const std::string& key, const toml::node& node) const {
        const std::optional<std::string> text = node.value<std::string>();
        if (!text || node.type() != toml::node_type::string) {
            return At(node.source(), key + " takes a string in quotes");
        }
        if (text->empty()) {
            return At(node.source(), key + " may not be empty");
        }
        if (text->find('\0') != std::string::npos) {
            return At(node.source(), key + " may not hold a NUL");
        }
        return *text;
    }

    Result<std::string> Path(const std::string& key, const toml::node& node) const {
        Result<std::string> text = Text(key, node);
        if (!text) {
            return text;
        }
        return (m_folder / *text).lexically_normal().string();
    }

    Result<std::int64_t> Whole(const std::string& key, const toml::node& node, std::int64_t low,
                               std::int64_t high) const {
        // The type first: the reader would convert a float past int64's range, which overflows.
        const std::optional<std::int64_t> n =
            node.type() == toml::node_type::integer ? node.value<std::int64_t>() : std::nullopt;
        if (!n || *n < low || *n > high) {
            return At(node.source(), key + " takes a whole number from " + std::to_string(low) +
                                         " to " + std::to_string(high));
        }
        return *n;
    }

    const std::filesystem::path& Folder() const { return m_folder; }

    Result<bool> Flag(const std::string& key, const toml::node& node) const {
        if (node.type() != toml::node_type::boolean) {
            return At(node.source(), key + " takes true or false");
        }
        return *node.value<bool>();
    }

  private:
    std::string m_file;
    std::filesystem::path m_folder;
};
