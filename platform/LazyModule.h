#pragma once
// Parts of the program that the first window does not need (sending mail,
// playing sounds) live in modules of their own, loaded on first use, so that
// their libraries take no part in the start. A module is looked for beside
// the program, then where the install rules put it.

namespace LazyModule {

using Function = void (*)();

// The named entry point of the module (its base name, such as
// "molvane-mail"), loading the module on the first call; null when the
// module or the entry point is missing. The module stays loaded.
Function resolve(const char* module, const char* entryPoint);

} // namespace LazyModule
