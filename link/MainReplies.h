// The replies that the main window's handler understands ("md", "gs" and
// the node search's "sn"), parsed without the toolkit so that the desktop
// tool and the command-line client read them alike.
#pragma once

#include <cstdint>
#include <optional>

// One node found by the search, as "sn" carries it.
struct NodeAnswer {
    int node = 0;
    int model = 0;
    int ext = 0;
    int id = 0;
    std::optional<int> rssi;  // dBm

    // The ID means something for I/O units only (model codes below 13).
    bool HasId() const { return model < 13; }
};

// Parses an "sn" reply (from the mnemonic, len counting the terminator);
// nullopt for a length outside 7..10.
std::optional<NodeAnswer> ParseNodeAnswer(const unsigned char* reply, int len);

// What the main window's reply handler takes from a reply.
struct MainReply {
    enum Kind { Ignored, ModelCode, UnitId, Node, Other } kind = Ignored;
    bool counts = false;   // the reply counts as an awaited one
    bool parsed = false;   // the value fields below are valid
    int modelValue = 0;
    int modelCode = 0;
    int modelExt = 0;
    std::uint32_t uid = 0;
    NodeAnswer node;
};
MainReply ParseMainReply(const unsigned char* reply, int len);
