#pragma once
// The host's one-time start-up for a first instance: application names, the
// product directories, log pruning and the logging sink, product metadata and
// update service, the message handler and crash reporting.

namespace ApplicationStartup {

// Runs once per process; later calls do nothing.
void run();

} // namespace ApplicationStartup
