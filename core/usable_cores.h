#pragma once

// The cores this process may run on (its CPU affinity where the system has
// one, else every core the machine reports); at least 1, at most 1024.
int usable_cores();
