// tavikctl messages ...: the texts of hardware error codes and start-up reasons.
#include "cli.h"

#include "tavik2/messages.h"

namespace tavikctl {
namespace messages_cmd {

// Decimal or 0x-prefixed hexadecimal, negatives allowed; the 32-bit pattern is passed on.
int32_t parseCodeArgument(const std::string& text) {
    size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(text, &used, 0);
    } catch (const std::exception&) {
        throw CLI::ValidationError("code", "not a number: " + text);
    }
    if (used != text.size() || v < INT32_MIN || v > UINT32_MAX)
        throw CLI::ValidationError("code", "not a 32-bit number: " + text);
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

void showMessage(Context& ctx, const std::string& codeText, const char* (TAVIK_CALL *lookup)(int32_t)) {
    const int32_t code = parseCodeArgument(codeText);
    const std::string text = lookup(code);
    emit(ctx, json{{"code", code}, {"message", text}}, text);
}

} // namespace messages_cmd

void addMessageCommands(CLI::App& app, Context& ctx) {
    using namespace messages_cmd;
    auto* messages = app.add_subcommand("messages", "Texts of hardware error codes and start-up reasons");
    messages->require_subcommand(1);

    auto* hw = messages->add_subcommand("hw-error", "Text of a hardware error code (Diagnostic_getHwErrorStatus)");
    static std::string hwCode;
    hw->add_option("code", hwCode, "Code, decimal or 0x hex")->required();
    hw->callback([&ctx] { showMessage(ctx, hwCode, &GetHwErrorStatusStringA); });

    auto* startup = messages->add_subcommand("startup", "Text of a start-up reason code (Diagnostic_getStartupReason)");
    static std::string startupCode;
    startup->add_option("code", startupCode, "Code, decimal or 0x hex")->required();
    startup->callback([&ctx] { showMessage(ctx, startupCode, &GetStartupReasonStringA); });
}

} // namespace tavikctl
