// A console test's machine: its own root with an installed database, the
// console's debug log at level 7, the console module's product strings and
// the English texts.
#pragma once

#include <memory>
#include <string>

#include "tests/fixtures/TestDatabase.h"
#include "tests/fixtures/TestRoot.h"

namespace kvtest {

class ConsoleFixture {
public:
    ConsoleFixture();
    ~ConsoleFixture();

    // Reads the settings copy again (after a test changed the registry).
    void RefreshSettings() const;
    std::string LogText() const;
    // Lines of the console log without their time prefix.
    size_t LogCount(const std::string& line) const;
    bool LogHolds(const std::string& line) const { return LogCount(line) > 0; }

    TestRoot root;
    std::unique_ptr<TestDatabase> db;

private:
    std::string m_logFile;
};

}  // namespace kvtest
