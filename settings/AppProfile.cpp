#include "AppProfile.h"

ProfileStore& appProfile()
{
    static ProfileStore store;
    return store;
}
