#include "bench/linemodel/LineModel.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

LineModelConfig LineModelConfig::For(LineKind kind, std::uint32_t bytesPerSecond) {
    LineModelConfig config;
    config.kind = kind;
    config.bytesPerSecond = bytesPerSecond;
    if (kind == LineKind::Uart16550) {
        config.fifo = 16;
        config.drainLookNs = 0;
    }
    return config;
}

const char* LineKindName(LineKind kind) {
    return kind == LineKind::Uart16550 ? "16550 UART" : "FTDI USB";
}

LineModelShared* MapLineModel(const std::string& path, bool create, std::string& error) {
    const int fd = open(path.c_str(),
                        create ? O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (create && ftruncate(fd, sizeof(LineModelShared)) != 0) {
        error = path + ": " + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    void* memory =
        mmap(nullptr, sizeof(LineModelShared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (memory == MAP_FAILED) {
        error = path + ": mmap: " + std::strerror(errno);
        return nullptr;
    }
    if (create) {
        return new (memory) LineModelShared();
    }
    auto* shared = static_cast<LineModelShared*>(memory);
    if (shared->magic != LineModelShared::kMagic) {
        error = path + ": not a line model";
        munmap(memory, sizeof(LineModelShared));
        return nullptr;
    }
    return shared;
}

void UnmapLineModel(LineModelShared* shared) {
    if (shared != nullptr) {
        munmap(shared, sizeof(LineModelShared));
    }
}

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}
