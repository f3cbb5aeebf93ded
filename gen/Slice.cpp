#include "gen/Slice.h"

#include <new>

TypedBlock<StrSlice> StrTokenizer::Split(unsigned reserve) {
    TypedArray<StrSlice> views(reserve);
    for (; HasToken(); Advance()) {
        StrSlice* slot = views.Push();
        if (!slot) break;  // the raise of a refused growth came back
        new (slot) StrSlice(Token());
    }
    TypedBlock<StrSlice> result;
    views.TakeBlock(result);
    return result;
}
