// Each test process gets a runtime folder of its own ($XDG_RUNTIME_DIR), where a named station
// keeps its control socket: tests that run side by side with stations of the same name would
// otherwise refuse each other, as two such stations on one PC must. Every test binary has it.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

class PrivateRuntimeDir : public testing::Environment {
  public:
    void SetUp() override {
        char folder[] = "/tmp/stavel-runtime-XXXXXX";
        if (mkdtemp(folder) != nullptr) {
            m_folder = folder;
            setenv("XDG_RUNTIME_DIR", folder, 1);
        }
    }
    void TearDown() override {
        std::error_code ignored;
        if (!m_folder.empty()) {
            std::filesystem::remove_all(m_folder, ignored);
        }
    }

  private:
    std::string m_folder;
};

[[maybe_unused]] testing::Environment* const g_runtime =
    testing::AddGlobalTestEnvironment(new PrivateRuntimeDir);

}  // namespace
