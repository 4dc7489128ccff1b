// The fixture of the whole-run tests: a scratch installation, the front
// library loaded in this process as a host loads it, and canned warehouse
// answers for a list of nodes.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hp_ov/qvademinv/qvademinv.h"
#include "invinstall.h"
#include "platform/host.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace qvtest {

struct NodeResult {
  int ret;
  std::string name, attr, file, content;
  std::string record;  // the host's INV_INFO as File left it, all 429 bytes
};

struct RunResult {
  int init = 0, close = 0;
  std::vector<NodeResult> nodes;
  std::string repository;  // Repository.csv as it was before Close
};

// Definitions every run test shares: one query key A whose result has one
// line per interface: node, hardware value, interface name, two machine flags.
inline const char kRazInv[] =
    "[NodeInfo]\n1=nodes\n[Table]\nA=a %s\n[Interface]\n1=if %s\n2=A\n"
    "[HardwareSetting]\ncount=3\n1=3,0,0,0,0\n2=1,0,1,0,0\n3=2,0,0,0,0\n"
    "[HardwareInventory]\n1=A:2\n2=lit\n3=CPUNUM(A:1)\n"
    "[RepositorySetting]\ncount=4\n1=3,0,0,0,0\n2=2,0,0,0,0\n3=2,0,0,0,0\n4=2,0,0,0,0\n"
    "[RepositoryInventory]\n1=A:3\n2=HOST(A:1)\n3=MACHINEGET()\n4=OPERATION(PRISMSUITE)\n"
    "[RepositoryMachineName]\ncount=2\n1=Alpha\n2=Beta\n[RepositoryMachineID]\n1=A:4\n2=A:5\n"
    "[MultiRepSetting]\ncount=1\n1=2,0,0,0,0\n[MultiRepInventory]\n1=HOST(A:1)\n[MultiRepMachineName]\ncount=0\n"
    "[TextSetting]\nflag=0\ncount=2\n1=2,0,0,0,0\n2=2,0,1,0,0\n[TextInventory]\n1=LINE()\n2=TEXT()\n";

class Run : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.InstallEngine();
    inst.WriteEtc("RazInv.ini", kRazInv);
    inst.WriteEtc("RepInfo.ini", "[General]\nType=0\nSiteName=Site\n");
    inst.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=1\n");
    std::uint32_t dm = 3;
    plat::RegistrySet(plat::RegRoot::LocalMachine, "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion", "DM InstallType",
                      plat::kRegDword, &dm, 4);
    std::string path = std::string(QVAD_BIN_DIR) + plat::kSep + plat::LibraryFileName("qvadinv");
    lib_ = plat::LoadLibraryByPath(path.c_str());
    ASSERT_NE(lib_, nullptr);
    init_ = reinterpret_cast<QVAD_EMINVINIT>(plat::LibrarySymbol(lib_, "Qvad_InvInit"));
    file_ = reinterpret_cast<QVAD_EMINVFILE>(plat::LibrarySymbol(lib_, "Qvad_InvFile"));
    close_ = reinterpret_cast<QVAD_EMINVCLOSE>(plat::LibrarySymbol(lib_, "Qvad_InvClose"));
    char host[129] = {};
    std::uint32_t code = 0;
    plat::HostName(host, sizeof host, &code);
    host_ = std::string(host).substr(0, std::string(host).find('.'));
  }
  void TearDown() override {
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion",
                              "DM InstallType");
    plat::FreeLibrary(lib_);
  }

  // The warehouse knows these nodes: each has two interfaces.
  void Nodes(const std::vector<std::string> &names) {
    std::string list;
    for (const auto &n : names) list += n + ",attr-" + n + "\n";
    inst.Answer("nodes", list);
    for (const auto &n : names) {
      if (known_.find("|" + n + "|") != std::string::npos) continue;
      known_ += "|" + n + "|";
      inst.Answer("a " + n, n + ",hw-" + n + ",eth0,1,0\n" + n + ",x,eth1,0,1\n");
      inst.Answer("if " + n, "2\n");
    }
  }

  RunResult Go() {
    RunResult r;
    r.init = init_();
    if (r.init == 0) {
      for (int guard = 0; guard < 100; ++guard) {
        INV_INFO info;
        std::memset(&info, 0x5A, sizeof info);
        int ret = file_(&info);
        if (ret == 1) break;
        r.nodes.push_back({ret, info.NodeName, info.NodeAttr, info.FileName, ReadFile(info.FileName),
                           std::string(reinterpret_cast<const char *>(&info), sizeof info)});
      }
      r.repository = ReadFile(inst.path("ret/Repository.csv"));
    }
    r.close = close_();
    return r;
  }

  static std::vector<std::string> Names(const RunResult &r) {
    std::vector<std::string> out;
    for (const auto &n : r.nodes) out.push_back(std::to_string(n.ret) + ":" + n.name);
    return out;
  }

  qvtest::InvInstall inst{"inv2run"};
  plat::Library lib_ = nullptr;
  QVAD_EMINVINIT init_ = nullptr;
  QVAD_EMINVFILE file_ = nullptr;
  QVAD_EMINVCLOSE close_ = nullptr;
  std::string host_, known_;
};

}  // namespace qvtest
