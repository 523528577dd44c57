#pragma once

// A real Mosquitto broker for one test: on 127.0.0.1 and a free port, anonymous, with a config
// file the test writes into its own folder. It can be stopped and started again on the same
// port.

#include <memory>
#include <string>

#include "tests/support/process/ChildProcess.h"

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
int FreeLocalPort();

class MqttBroker {
  public:
    struct Options {
        std::string folder;       // where the config goes
        bool persistent = false;  // keeps sessions and queued messages across a restart
        // No bound on the messages queued for a client (a board subscribing to a whole line's
        // retained states at once), instead of the broker's 1000.
        bool unboundedQueues = false;
    };

    explicit MqttBroker(Options options);
    ~MqttBroker();

    // Starts the broker and waits until it takes connections; false (with the broker's output
    // in Log()) when it did not.
    bool Start();
    // SIGTERM, and waits for its end.
    void Stop();
    int Port() const { return m_port; }
    std::string Url() const;
    std::string Log() const;

  private:
    Options m_options;
    int m_port = 0;
    std::string m_config;
    std::unique_ptr<ChildProcess> m_process;
};
