#include "CommandLine.h"

#include "core/ProgramPaths.h"

namespace commandline {
namespace {

void printHelp(std::ostream& out)
{
    const std::filesystem::path exe = programpaths::executableFolder();
    out << "使い方: molvane [--help | --version]\n"
           "\n"
           "五択問題の試験プログラム Molvane を起動します。\n"
           "\n"
           "  -h, --help     この説明を表示して終了します\n"
           "      --version  バージョンを表示して終了します\n"
           "\n"
           "作業フォルダ:\n"
           "  インストールしたプログラムは利用者ごとのフォルダ ~/Molvane で動きます。\n"
           "  初めての起動でサンプルデータをそこにコピーします（既にあるファイルは\n"
           "  上書きしません）。自分のフォルダに置いたプログラムは、起動したフォルダの\n"
           "  Parameter.INI と問題ファイルを使います。\n";
    if (const auto manual = programpaths::htmlManual(exe))
        out << "\n説明書: " << manual->string() << "\n";
}

} // namespace

std::optional<int> answerInfoOptions(const std::vector<std::string>& args, std::ostream& out)
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
            out << "molvane " << programpaths::version() << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<int> refuseLeftovers(const std::vector<std::string>& leftovers, std::ostream& err)
{
    if (leftovers.empty())
        return std::nullopt;
    err << "molvane: 使えない引数です: " << leftovers.front() << "\n"
        << "使い方は molvane --help で表示します。\n";
    return 2;
}

} // namespace commandline
