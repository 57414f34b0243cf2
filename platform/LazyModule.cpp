#include "LazyModule.h"

#include "core/ProgramPaths.h"

#include <QLibrary>
#include <QString>

namespace LazyModule {

Function resolve(const char* module, const char* entryPoint)
{
#ifdef _WIN32
    const QString fileName = QString::fromLatin1(module) + QStringLiteral(".dll");
#else
    const QString fileName = QString::fromLatin1(module) + QStringLiteral(".so");
#endif
    for (const std::filesystem::path& folder : programpaths::moduleFolders(programpaths::executableFolder())) {
        // Never unloaded: what the module made may live until the program ends.
        auto* library = new QLibrary(QString::fromStdString((folder / fileName.toStdString()).string()));
        if (library->load()) {
            if (const QFunctionPointer function = library->resolve(entryPoint))
                return function;
        }
        delete library;
    }
    return nullptr;
}

} // namespace LazyModule
