#pragma once

// A throwaway PostgreSQL server for the tests, from Debian's postgresql package: a cluster made
// by initdb in a temporary folder, served by `postgres` on 127.0.0.1 and a free port, trusting
// local connections (user "stavel"). PostgreSQL refuses to run as root, so as root it runs as
// the user nobody, in a folder of its own that nobody owns.
//
// initdb takes seconds, so its cluster is made once per machine and PostgreSQL version (under
// the system's temporary folder, made by one test binary while others wait for it) and copied
// for each server. It can be stopped and started again on the same port and data, to play a
// database that goes away. One test binary starts one server (Shared), not one per test.

#include <memory>
#include <string>

#include "tests/support/process/ChildProcess.h"

class PostgresServer {
  public:
    // Why no server can be started here (the package is missing); empty when one can.
    static std::string Missing();

    // A test's server does not flush to disk; a `durable` one does, as a factory's (benches).
    explicit PostgresServer(bool durable = false);
    ~PostgresServer();  // stops it and removes its folder
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Makes the cluster the first time, starts the server and waits until it takes
    // connections; false (with the reason in Log()) when it did not.
    bool Start();
    // A fast shutdown (SIGINT), waited for.
    void Stop();
    // A fresh, empty database; answers its URL ("" when it could not be made).
    std::string NewDatabase();
    std::string Url(const std::string& database = "postgres") const;
    int Port() const { return m_port; }
    std::string Log() const;

    // The one server of this test binary, started at its first use; null when it cannot be,
    // with the reason in `why`.
    static PostgresServer* Shared(std::string& why);

  private:
    std::string m_folder;
    int m_port = 0;
    int m_databases = 0;
    bool m_durable = false;
    std::string m_log;
    std::unique_ptr<ChildProcess> m_process;
};
