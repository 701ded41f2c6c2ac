// Writes the hand-made seed inputs of the fuzz targets, the seed-* files of
// fuzz/corpus/TARGET, built with the tests' record builder: the same sample
// replies the unit tests decode. Writing rewrites the seed-* files only;
// findings and merged inputs stay.
//   zelvo-fuzz-seeds CORPUS_DIR           write them
//   zelvo-fuzz-seeds --check CORPUS_DIR   exit 1 when a seed there is missing
//                                         or differs from what would be written

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/Wirerecord.h"

namespace
{

using namespace zelvo::test;

struct TSeed {
    std::string Target;
    std::string Name;
    TBytes Bytes;
};

TBytes Join(std::initializer_list<TBytes> parts)
{
    TBytes out;
    for (const TBytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TBytes Repeat(const TBytes &bytes, int times)
{
    TBytes out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

TBytes Ramp(int n)
{
    TBytes out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<uint8_t>(i));
    return out;
}

TBytes Chars(std::string_view text)
{
    return TBytes(text.begin(), text.end());
}

std::vector<TSeed> Seeds()
{
    std::vector<TSeed> seeds;
    auto put = [&seeds](std::string target, std::string name, TBytes bytes) {
        seeds.push_back({std::move(target), "seed-" + std::move(name), std::move(bytes)});
    };

    // The model readers' sample replies, with the message type each comes as.
    std::vector<std::pair<std::string, TWireRecord>> samples;
    TWireRecord basic;
    for (int i = 1; i <= 21; ++i)
        basic.U8(i);
    samples.emplace_back("basic_info", basic);
    TWireRecord snapshot;
    snapshot.U16(3);
    for (int t : {1, 6, 15})
        snapshot.U8(t).U16(4);
    snapshot.F32(1.0f).U8(1).F32(2.0f);
    samples.emplace_back("snapshot", snapshot);
    TWireRecord uom;
    uom.U8(2).IOUOM(9, 1).IOUOM(9, 1);
    uom.U8(1).InputType(1, 1, 1, 0, 0);
    uom.U8(1).U32(8).Fill(32, 'a');
    uom.U8(1).U32(9).Fill(16, 'b').U8(1).U8(2).F32(0).F32(0).F32(10).F32(100);
    samples.emplace_back("uom_info", uom);
    TWireRecord io;
    io.U8(1).IOConfig(1, "EXT001", 1, 9, 5, "Pump").IOConfig(2, "IN01  ", 1, 9, 5, "Level");
    samples.emplace_back("io_config", io);
    samples.emplace_back(
        "uom_list", TWireRecord().U16(2).UOMDescription(9, 1, "Litre").UOMDescription(8, 2, "On"));
    samples.emplace_back("available_input_types", TWireRecord()
                                                      .U8(2)
                                                      .AvailableType(1, 1, 1, 0, "4-20 mA")
                                                      .AvailableType(1, 2, 1, 0, "Pulse"));
    TWireRecord modbus;
    modbus.U8(1).U8(3).Fill(50, 's').U8(2);
    for (uint32_t i : {1u, 2u})
        modbus.U32(i).U8(4).U8(3);
    samples.emplace_back("modbus_data", modbus);
    const int types[] = {1, 2, 6, 9, 10, 11, 12};

    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto &[name, content] = samples[i];
        // Reader targets: the unit-model byte, then the content (the target
        // adds the checksum).
        put(name, "vello", Join({{0}, content}));
        put(name, "ostra", Join({{1}, content}));
        // The same reply downloaded through the link for the whole-path target.
        put("server_reply", name,
            Join({{static_cast<uint8_t>(types[i])}, MessageFrames(content.Sealed())}));
    }
    put("server_reply", "logon-ack", Join({{8}, MessageFrames(WithChecksum({5}))}));
    put("server_reply", "refused", Join({{9}, MessageFrames({0})}));

    put("input_types", "two",
        TWireRecord().U8(2).InputType(1, 1, 1, 0, 0).InputType(2, 2, 3, 1, 1, 1));

    // Unit decoders: mode, the I/O configuration and UOM information parts,
    // then the replies the polls read.
    TWireRecord live;
    for (uint32_t n = 0; n < 41; ++n)
        live.U32(n * 3);
    auto decoders = [&](uint8_t mode, const TBytes &wire) {
        return Join({{mode},
                     TWireRecord().U16(static_cast<int>(io.Size())),
                     io,
                     TWireRecord().U16(static_cast<int>(uom.Size())),
                     uom,
                     wire});
    };
    TWireRecord fives, sevens;
    for (int i = 0; i < 4; ++i)
        fives.U32(5);
    sevens.U32(7).U32(7);
    put("unit_decoders", "mode06", decoders(0x06, Repeat(ReplyFrame(0x0A, live), 3)));
    put("unit_decoders", "mode0e",
        decoders(0x0E, Join({ReplyFrame(0x1D, fives),
                             {1},
                             ReplyFrame(0x1D, sevens),
                             ReplyFrame(0x1E, TBytes(32, 0))})));
    put("unit_decoders", "mode16",
        decoders(0x16, Join({ReplyFrame(0x00, Ramp(255)), ReplyFrame(0x01, Ramp(58)), {1, 1, 1}})));
    put("unit_decoders", "ostra-live",
        decoders(0x07, ReplyFrame(0x0A, TWireRecord{0xFF, 0}.Fill(184, 0))));

    put("network_catalogue", "small",
        Chars("<root><countries><country ID=\"1\" name=\"Norland\"/><country ID=\"2\" "
              "name=\"Ostmark\"/></countries><networks><network country=\"1\" name=\"NorTel\" "
              "apn=\"internet\" username=\"\" password=\"\"/><network country=\"2\" "
              "name=\"Ost\" apn=\"web.ost\" username=\"u\" password=\"p\"/></networks></root>"));
    put("network_catalogue", "empty", Chars("<root><countries/><networks/></root>"));
    const char *addresses[] = {"10.1.2.3", "255.255.255.0", "0.0.0.0",  "+1.-0.2.3",
                               "1.2.3",    "1.2.3.4.5",     "300.1.1.1"};
    for (int i = 0; i < 7; ++i)
        put("ip_address", "a" + std::to_string(i), Chars(addresses[i]));

    // The simulator's request reader: a model byte, then request frames.
    TBytes session{0};
    for (uint8_t cmd : {0xDF, 0x0D, 0x00, 0x01, 0x15, 0x0A, 0x1A, 0x1B})
        session = Join({session, RequestFrame(cmd)});
    session = Join({session, RequestFrame(0x16, {1}), RequestFrame(0x15),
                    RequestFrame(0x17, TWireRecord{0}.U16(8).U16(144).U16(144).Fill(145, 0)),
                    RequestFrame(0x18), RequestFrame(0x19, {0})});
    put("sim_request", "session", session);
    put("sim_request", "settings",
        Join({{1},
              RequestFrame(0x02, Ramp(255)),
              RequestFrame(0x03, TBytes(58, 0)),
              RequestFrame(0x14)}));
    put("sim_request", "faults",
        Chars("#nack=0x15,once\nsilent-after=40\ndrop-block=2,from=7\nCMD_READ_SF_STATE\n"
              "MSG_LOGON\nSF_IDLE\n"));
    return seeds;
}

TBytes ReadFile(const std::filesystem::path &path, bool &found)
{
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: zelvo-fuzz-seeds [--check] CORPUS_DIR\n");
        return 2;
    }
    const fs::path root = argv[argc - 1];
    int differing = 0;
    for (const TSeed &seed : Seeds()) {
        const fs::path path = root / seed.Target / seed.Name;
        if (check) {
            bool found = false;
            if (ReadFile(path, found) != seed.Bytes || !found) {
                std::fprintf(stderr, "zelvo-fuzz-seeds: %s %s\n", path.string().c_str(),
                             found ? "differs" : "is missing");
                ++differing;
            }
            continue;
        }
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(seed.Bytes.data()),
                  static_cast<std::streamsize>(seed.Bytes.size()));
        if (!out) {
            std::fprintf(stderr, "zelvo-fuzz-seeds: cannot write %s\n", path.string().c_str());
            return 2;
        }
    }
    return differing == 0 ? 0 : 1;
}
