// A host program that knows the library only through its installed package.
#include <brim/brim.h>

#include <cstdio>

int main() {
    try {
        throw new CBrimException(5UL);
    } catch (CBrimException* e) {
        const CStringW& text = e->GetMessageW();
        for (int i = 0; i < text.GetLength(); ++i) std::putchar(static_cast<char>(text[i]));
        e->Delete();
    }
    return 0;
}
