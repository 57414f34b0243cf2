#include "CommandLine.h"

#include "core/ProgramPaths.h"

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
               "  Parameter.INI と問題ファイルを使います。\n",
               out);
    if (const auto manual = programpaths::htmlManual(exe))
        std::fprintf(out, "\n説明書: %s\n", manual->string().c_str());
}

} // namespace

std::optional<int> answerInfoOptions(const std::vector<std::string>& args, std::FILE* out)
{
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h") {
            printHelp(out);
            return 0;
        }
        if (arg == "--version") {
            std::fprintf(out, "molvane %s\n", programpaths::version());
            return 0;
        }
    }
    return std::nullopt;
}

bool wantsManual(const std::vector<std::string>& args)
{
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--manual")
            return true;
    }
    return false;
}

std::optional<int> refuseLeftovers(const std::vector<std::string>& leftovers, std::FILE* err)
{
    if (leftovers.empty())
        return std::nullopt;
    std::fprintf(err, "molvane: 使えない引数です: %s\n使い方は molvane --help で表示します。\n",
                 leftovers.front().c_str());
    return 2;
}

} // namespace commandline
