#include "CommandLine.h"

#include "core/ProgramPaths.h"
#include "core/TerminalText.h"

namespace commandline {
namespace {

void printHelp(std::FILE* out)
{
    const std::filesystem::path exe = programpaths::executableFolder();
    std::fputs("使い方: molvane [--help | --version | --manual]\n"
               "\n"
               "五択問題の試験プログラム Molvane を起動します。\n"
               "\n"
               "  -h, --help     この説明を表示して終了します\n"
               "      --version  バージョンを表示して終了します\n"
               "      --manual   説明書をデスクトップの既定のプログラムで開きます\n"
               "\n"
               "作業フォルダ:\n"
               "  インストールしたプログラムは利用者ごとのフォルダ ~/Molvane で動きます。\n"
               "  初めての起動でサンプルデータをそこにコピーします（既にあるファイルは\n"
               "  上書きしません）。自分のフォルダに置いたプログラムは、起動したフォルダの\n"
               "  Parameter.INI と問題ファイルを使います。\n"
               "\n"
               "ツールキットの表示のオプション（-display、-platform など）も使えます。\n"
               "終了ステータス: 0 正常、1 作業フォルダを使えないか説明書を開けない、2 使えない引数\n",
               out);
    if (const auto manual = programpaths::htmlManual(exe))
        std::fprintf(out, "\n説明書: %s\n", manual->string().c_str());
}

// The toolkit's own options, which it takes out of the arguments when the
// application object is made: those of the application classes and of the
// X11 platform. Each is written with one or two dashes; those with a value
// take the next argument, or "=value" where the toolkit allows it.
struct ToolkitOption {
    const char* name;
    bool takesValue;
    bool joinedValue; // also "-name=value"
};
const ToolkitOption kToolkitOptions[] = {
    {"platform", true, false},   {"platformpluginpath", true, false}, {"platformtheme", true, false},
    {"plugin", true, false},     {"qwindowgeometry", true, false},    {"geometry", true, false},
    {"qwindowtitle", true, false}, {"title", true, false},            {"qwindowicon", true, false},
    {"icon", true, false},       {"session", true, false},            {"display", true, false},
    {"name", true, false},       {"visual", true, false},             {"style", true, true},
    {"stylesheet", true, true},  {"qmljsdebugger", false, true},      {"reverse", false, false},
    {"testability", false, false}, {"sync", false, false},            {"nograb", false, false},
    {"dograb", false, false},    {"widgetcount", false, false},
};

enum class Match { None, Alone, WithNext };

// How the argument matches a toolkit option.
Match toolkitOption(const std::string& arg)
{
    if (arg.size() < 2 || arg[0] != '-')
        return Match::None;
    const std::string bare = arg.compare(0, 2, "--") == 0 ? arg.substr(2) : arg.substr(1);
    for (const ToolkitOption& option : kToolkitOptions) {
        const std::string name = option.name;
        if (bare == name)
            return option.takesValue ? Match::WithNext : Match::Alone;
        if (option.joinedValue && bare.compare(0, name.size() + 1, name + "=") == 0)
            return Match::Alone;
    }
    return Match::None;
}

void refuse(std::FILE* err, const std::string& arg)
{
    std::fprintf(err, "molvane: 使えない引数です: %s\n使い方は molvane --help で表示します。\n",
                 termtext::visible(arg).c_str());
}

} // namespace

std::optional<int> answerBeforeWindow(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    bool help = false;
    bool version = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--manual") {
            // answered once the arguments are known to be good
        } else if (const Match match = toolkitOption(arg); match == Match::Alone) {
        } else if (match == Match::WithNext) {
            if (i + 1 == args.size()) {
                std::fprintf(err, "molvane: %s の後に値が要ります\n使い方は molvane --help で表示します。\n",
                             termtext::visible(arg).c_str());
                return 2;
            }
            ++i;
        } else {
            refuse(err, arg);
            return 2;
        }
    }
    if (help) {
        printHelp(out);
        return 0;
    }
    if (version) {
        std::fprintf(out, "molvane %s\n", programpaths::version());
        return 0;
    }
    return std::nullopt;
}

bool wantsManual(const std::vector<std::string>& args)
{
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--manual")
            return true;
    }
    return false;
}

std::optional<int> refuseLeftovers(const std::vector<std::string>& leftovers, std::FILE* err)
{
    if (leftovers.empty())
        return std::nullopt;
    refuse(err, leftovers.front());
    return 2;
}

} // namespace commandline
