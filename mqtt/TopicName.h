#pragma once

// The topics a station publishes under. A station's or a slot's name is one topic level, so the
// characters MQTT gives a meaning there ('/', '+', '#'), the escape itself ('%'), control
// characters and bytes that are not UTF-8 are written as %XX. The mapping is reversible, so two
// different names never share a topic.

#include <optional>
#include <string>
#include <vector>

std::string EncodeTopicLevel(const std::string& name);
// A topic split at its slashes, as received ("a//b" has an empty level).
std::vector<std::string> TopicLevels(const std::string& topic);
// The name back; empty when `level` is not something EncodeTopicLevel makes.
std::optional<std::string> DecodeTopicLevel(const std::string& level);

std::string StatusTopic(const std::string& station);
std::string InfoTopic(const std::string& station);
std::string StateTopic(const std::string& station, const std::string& slot);
std::string ResultTopic(const std::string& station, const std::string& slot);
// The slot whose state `topic` carries on `station`; nothing for any other topic.
std::optional<std::string> SlotOfStateTopic(const std::string& station, const std::string& topic);
