// The network peers that testbed/peers/start-peers.sh started for this test
// run (ctest starts them before the tests that need them and ends them after).
#pragma once

#include <fstream>
#include <string>

#include "common/testbed.h"

namespace testing_support {

#ifdef ORVIK_PEERS_DIR
// A file in the peers' folder: "tls\ca.pem" (the test CA), "raw-<scenario>.log"
// (what a client sent to the raw peer), "smtp-mail\..." (stored messages).
inline std::string PeerFile(const std::string& name) {
  std::string path = BuildFolder(ORVIK_PEERS_DIR) + name;
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

// The loopback port of a peer by its name in peers.txt ("http-plain",
// "https-good", "smtp-auth", "raw-<scenario>", ...); 0 when none is running.
inline int PeerPort(const std::string& name) {
  std::ifstream in(PeerFile("peers.txt"));
  std::string peer;
  int port = 0;
  while (in >> peer >> port)
    if (peer == name) return port;
  return 0;
}
#endif

}  // namespace testing_support
