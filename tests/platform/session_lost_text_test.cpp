// Which failures say that the database session is gone: the texts that the
// PostgreSQL driver gives when the server ended the session or cannot be
// reached, in each of its modes, and failures that only look alike.
#include <gtest/gtest.h>

#include "kvdataaccess/kvdataaccess.h"

namespace {

struct LossText {
  const char* text;
  bool lost;
};

const LossText kTexts[] = {
    // The first call after the server ended the session, prepared on the
    // server or not, and the calls after it.
    {"Running \"SELECT 1\": [08S01] The connection has been lost; The "
     "connection has been lost",
     true},
    {"Running \"SELECT 1\": [57P01] FATAL: terminating connection due to "
     "administrator command; The connection has been lost",
     true},
    {"Committing the transaction: [57P02] FATAL: terminating connection "
     "because of crash of another server process",
     true},
    {"Running \"SELECT 1\": [08S01] SQLExecute unable due to the connection "
     "lost",
     true},
    {"Running \"UPDATE t SET a=?\": [HY000] FATAL: terminating connection "
     "due to administrator command; server closed the connection "
     "unexpectedly; Error while preparing parameters",
     true},
    {"Connecting to Server=x: [08001] could not connect to server: "
     "Connection refused",
     true},
    {"[08006] the connection failed", true},
    {"Running \"SELECT 1\": [HY000] no connection to the server", true},
    // Refusals that leave the session as it was.
    {"Running \"SELECT 1\": [42P01] ERROR: relation \"t\" does not exist",
     false},
    {"Running \"SELECT 1\": [57014] ERROR: canceling statement due to lock "
     "timeout",
     false},
    {"Running \"SELECT 1\": [23505] ERROR: duplicate key value; Key "
     "(name)=([08S01]x) already exists",
     false},
    {"Running \"SELECT '[08S01]'\": [42601] ERROR: syntax error", false},
    {"[57P03] the database system is starting up", false},
    {"", false},
};

TEST(DacSessionLostTest, TellsTheSessionsEndFromOtherRefusals) {
  for (const LossText& c : kTexts)
    EXPECT_EQ(dacSessionLost(c.text), c.lost) << c.text;
}

}  // namespace
