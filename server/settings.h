#pragma once
// What an operator may tune in a running server: how many calls run at once, how many clients
// it takes, how long an idle client may hold a connection.

namespace server {

struct ServerSettings {
    // Calls that run at the same time, each on a worker thread with its own database connection.
    int workers = 4;
};

} // namespace server
