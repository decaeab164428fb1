// What the logic tests run against: the host's real panel services and FSUIPC server with the module's
// link open, the scripted collision library, and helpers that lay out FSUIPC's traffic tables.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/fsuipc/fsuipc_server.h"
#include "host/panel_services.h"
#include "module/gauge/gauge.h"
#include "module/link/fsuipc.h"
#include "tests/logic/scripted_library.h"

namespace kvr::testing {

struct Slot {
  uint32_t id;
  float latitudeDeg, longitudeDeg, altitudeFt;
};

class LogicTest : public ::testing::Test {
 protected:
  host::PanelServices services;
  std::unique_ptr<host::FsuipcServer> fsuipc = std::make_unique<host::FsuipcServer>();

  void SetUp() override {
    scripted::library.Clear();
    ImportTable.panel.table = services.Table();
    fsuipc::testing::Reset();
    OpenLinkAtLoad();
    ASSERT_TRUE(IsLinked());
  }
  void TearDown() override {
    CloseLinkAtUnload();
    fsuipc::testing::Reset();
    ImportTable.panel.table = nullptr;
  }

  // The traffic tables: header at 0xF000, slots of `slotSize` bytes from 0xF080.
  void WriteTraffic(const std::vector<Slot>& slots, uint16_t capacity = 96, uint16_t slotSize = 40, int inUse = -1) {
    fsuipc->Poke<uint16_t>(0xF000, slotSize);
    fsuipc->Poke<uint16_t>(0xF002, capacity);
    fsuipc->Poke<uint16_t>(0xF004, static_cast<uint16_t>(inUse < 0 ? slots.size() : inUse));
    for (size_t i = 0; i < slots.size(); ++i) {
      const uint32_t at = 0xF080 + static_cast<uint32_t>(i) * slotSize;
      if (at + 16 > host::FsuipcServer::kSpaceBytes) break;
      fsuipc->Poke<uint32_t>(at, slots[i].id);
      fsuipc->Poke<float>(at + 4, slots[i].latitudeDeg);
      fsuipc->Poke<float>(at + 8, slots[i].longitudeDeg);
      fsuipc->Poke<float>(at + 12, slots[i].altitudeFt);
    }
  }
};

}  // namespace kvr::testing
