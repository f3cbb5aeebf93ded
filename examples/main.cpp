// A few lines of client code: a text is formatted, split at its commas, and
// an error is raised and caught through the library's framework.
#include <cstdio>

#include "gen/Err.h"
#include "gen/Slice.h"
#include "gen/Str.h"

int main() {
    Str list = FormatStr("%s,%d,%s", "alpha", 42, "omega");
    StrTokenizer walk(StrSlice(list), ',');
    TypedBlock<StrSlice> parts = walk.Split(4);
    std::printf("%s: %u parts\n", list.data, parts.Count());
    for (unsigned i = 0; i < parts.Count(); ++i)
        std::printf("  %.*s\n", static_cast<int>(parts[i].length), parts[i].chars);

    static const char kNotFound[] = "No part named '%s'";
    ERR_TRY(scope) { RaiseError(kNotFound, "beta"); }
    ERR_CATCH(error) {
        std::printf("caught: %s (%s)\n", error.message.data,
                    error.id == kNotFound ? "the raised template" : "another error");
    }
    return scope.Caught() && parts.Count() == 3 ? 0 : 1;
}
