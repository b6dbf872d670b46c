#pragma once

// The state folder of zorvane-fake-adb, named by $ZORVANE_FAKE_ADB_STATE. The test writes
// state.json (tests/support/fakeadb.h does it); the fake reads it on every invocation and keeps
// its own records next to it.
//
// state.json:
//   {
//     "devices": [                         // listed in this order
//       { "serial": "emulator-5554",       // network devices too: "192.168.1.20:5555"
//         "state": "device",               // printed as given; "no permissions" gets adb's
//                                          // explanation after it
//         "model": "Pixel_7",              // optional; printed with product: and device: tokens
//         "phonePort": 40123 }             // optional; the local port the device's 8765 leads to
//     ],
//     "commands": {                        // optional: misbehaviour by command
//       "devices -l": { ... }, "forward": { ... }, "*": { ... }
//     }
//   }
//
// A command is known by the words after "-s SERIAL": the first two words are looked up first
// ("forward --list", "devices -l"), then the first word ("forward"), then "*". A behaviour:
//   "hang": true        ignore the terminate request and sleep far past any limit (until killed,
//                       or until the state folder disappears)
//   "delayMs": N        sleep N ms first (a slow adb; terminate ends it), then go on
//   "exit": N           instead of doing the command, print "stdout" and "stderr" (both optional)
//                       and exit with status N; status 0 with only "stderr" prints to stderr only
//   "times": N          only the first N invocations under this key misbehave; later ones are
//                       answered normally
//
// Kept by the fake:
//   calls.jsonl          one JSON array of the arguments per invocation, in order of arrival
//   counts/<key>         invocations seen under a behaviour with "times"
//   server               present between start-server (or any command starting it) and kill-server
//   forwards/<port>.json {"serial", "local", "remote", "pid", "created"}: one per live forward;
//                        pid is the relay listening on 127.0.0.1:<port>
//   relay-<port>.log     the relay's diagnostics
//
// Relays exit when their record or the state folder disappears, or after two idle minutes.

namespace fakeadb {

inline constexpr const char* stateVariable = "ZORVANE_FAKE_ADB_STATE";
inline constexpr const char* stateFile = "state.json";
inline constexpr const char* callsFile = "calls.jsonl";
inline constexpr const char* countsFolder = "counts";
inline constexpr const char* serverMarker = "server";
inline constexpr const char* forwardsFolder = "forwards";
inline constexpr int phoneAppPort = 8765;

} // namespace fakeadb
