#pragma once

#include <functional>

// A thread without root, for the tests of what a user who may open no ICMP socket sees.

// True when this process runs as root and net.ipv4.ping_group_range lets no group open an
// unprivileged ICMP socket: a thread without root then may open no ICMP socket at all.
bool RootWithPingSocketsClosed();

// Runs `work` on a thread of its own whose effective user is "nobody", without root's
// capabilities. Credentials are per thread in the kernel: the raw system call changes this one
// thread only, and keeps root as the saved user id to come back before the thread ends. Returns
// false, without running `work`, when the user cannot be changed.
bool RunWithoutRoot(const std::function<void()> &work);
