#pragma once
// Another process holding a table open (shared) until the holder is
// destroyed: how tests play "another copy of the program" or "another
// program" that keeps a file busy.

#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "ItemTable.h"
#include "Table.h"

namespace testsupport {

class TableHolder {
public:
    explicit TableHolder(const std::string& path) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            char c = 1;
            try {
                store::Table t;
                store::PointAt(t, path);
                t.Open();
                (void)!::write(ready[1], &c, 1);
                (void)!::read(release[0], &c, 1);
            } catch (...) {
                c = 0;
                (void)!::write(ready[1], &c, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = 0;
        (void)!::read(ready[0], &c, 1);
        m_holding = c == 1;
        ::close(ready[0]);
        // A child that could not open the table still shares the file
        // descriptions this process had open when it forked (a table held
        // for sole use among them): it must be gone before the test goes on.
        if (!m_holding && m_pid > 0) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }
    ~TableHolder() {
        ::close(m_release);
        int status = 0;
        if (m_pid > 0) ::waitpid(m_pid, &status, 0);
    }
    TableHolder(const TableHolder&) = delete;
    TableHolder& operator=(const TableHolder&) = delete;

    bool Holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

}  // namespace testsupport
