// How long a find takes: 20 candidate ports, of which 17 are silent and 3
// hold simulated units (a VELLO, an OSTRA, a VELLO with old firmware), all
// on pseudo-terminals, probed with the production time-out. The goal is at
// most 1.5 times one probe's time-out for the whole find, because the ports
// are probed at the same time: a silent port costs one time-out, and they
// all wait together.
//
//   build/release/bench/zelvo-find-bench [--benchmark_repetitions=N]
//
// Every run checks what it found (3 units, 17 silent ports), so a timing
// never comes from a find that gave up early; a failed check ends the
// program with status 1.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Portprobe.h"
#include "sim/UnitSimulator.h"

namespace
{

constexpr int kPorts = 20;
constexpr int kSilent = 17;

struct TScene {
    std::vector<std::unique_ptr<zsim::UnitSimulator>> Units;
    std::vector<int> Masters;
    std::vector<TProbeCandidate> Candidates;

    TScene()
    {
        for (const auto &[model, version] :
             std::vector<std::pair<zsim::Model, std::string>>{{zsim::Model::Vello, ""},
                                                              {zsim::Model::Ostra, ""},
                                                              {zsim::Model::Vello, "2.56"}}) {
            zsim::Options o;
            o.model = model;
            o.version = version;
            auto sim = std::make_unique<zsim::UnitSimulator>(o);
            if (!sim->Start())
                Fail("a simulated unit did not start");
            Units.push_back(std::move(sim));
        }
        for (int n = 1; n <= kPorts; ++n) {
            std::string path;
            if (n <= kSilent) {
                const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
                if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
                    Fail("no pseudo-terminal");
                Masters.push_back(master);
                path = ::ptsname(master);
            } else {
                path = Units[static_cast<std::size_t>(n - kSilent - 1)]->SlavePath();
            }
            MapComPort(n, path);
            Candidates.push_back({"COM" + std::to_string(n), path, n, {}});
        }
    }
    ~TScene()
    {
        for (int m : Masters)
            ::close(m);
        ClearComPortMap();
    }
    [[noreturn]] static void Fail(const char *why)
    {
        std::fprintf(stderr, "zelvo-find-bench: %s\n", why);
        std::exit(1);
    }
};

void BM_Find20Ports17Silent(benchmark::State &state)
{
    static TScene scene;
    TProbeOptions options; // the production time-out
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<TProbeReport> reports = ProbePorts(scene.Candidates, options, nullptr);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        int units = 0, silent = 0;
        for (const TProbeReport &r : reports) {
            units += r.Result == TProbeResult::Zelvo;
            silent += r.Result == TProbeResult::NoAnswer;
        }
        if (units != 3 || silent != kSilent)
            TScene::Fail("the find did not see 3 units and 17 silent ports");
        state.counters["timeouts"] =
            took.count() / std::chrono::duration<double>(options.Timeout).count();
    }
    state.counters["ports"] = kPorts;
    state.counters["timeout_ms"] = static_cast<double>(options.Timeout.count());
}
BENCHMARK(BM_Find20Ports17Silent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
