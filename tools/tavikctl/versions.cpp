// tavikctl versions / tavikctl error: the version family and the result-code messages.
#include "cli.h"

#include "tavik2/aux_version.h"
#include "tavik2/messages.h"

namespace tavikctl {
namespace versions_cmd {

using VersionOp = ErrorCode(TAVIK_CALL*)(Varnholtstad::AuxVersion*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);

struct VersionQuery {
    const char* key;
    const char* label;
    VersionOp op;
};

const VersionQuery kQueries[] = {
    {"fpga", "FPGA", &AuxVersion_getFPGAVersion},
    {"ss", "System supervisor", &AuxVersion_getSSVersion},
    {"front", "Front controller", &AuxVersion_getFrontVersion},
    {"library", "Tavik2 library", &AuxVersion_getTavikVersion},
    {"os", "Operating system", &AuxVersion_getOSVersion},
    {"driver", "Auxiliary driver", &AuxVersion_getTavikDrvVersion},
};

void showVersions(Context& ctx) {
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    json doc = json::object();
    std::string text;
    for (const VersionQuery& q : kQueries) {
        uint8_t v[4] = {};
        const ErrorCode e = q.op(h, &v[0], &v[1], &v[2], &v[3]);
        std::string line = std::string(q.label) + ":";
        line.append(20 - std::min<size_t>(line.size(), 19), ' ');
        if (e == ERR_SUCCESS) {
            const std::string version = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                                        std::to_string(v[2]) + "." + std::to_string(v[3]);
            doc[q.key] = {{"version", version}, {"code", 0}};
            line += version;
        } else {
            doc[q.key] = {{"code", e}, {"message", errorText(e)}};
            line += "error " + std::to_string(e) + ": " + errorText(e);
            ctx.noteReading(e);
        }
        text += line + "\n";
    }
    AuxVersion_release(h);
    emit(ctx, doc, text);
    if (ctx.exitCode != 0 && !ctx.json) std::cerr << "tavikctl: some versions could not be read\n";
}

} // namespace versions_cmd

void addVersionCommands(CLI::App& app, Context& ctx) {
    using namespace versions_cmd;
    app.add_subcommand("versions", "Show the FPGA, supervisor, front, library, OS and driver versions")
        ->callback([&ctx] { showVersions(ctx); });
}

void addErrorCommands(CLI::App& app, Context& ctx) {
    using namespace versions_cmd;
    auto* cmd = app.add_subcommand("error", "Show the message of a result code");
    static int32_t code = 0;
    cmd->add_option("code", code, "Result code")->required();
    cmd->callback([&ctx] {
        const std::string text = GetErrorStringA(code);
        emit(ctx, json{{"code", code}, {"message", text}}, text);
    });
}

} // namespace tavikctl
