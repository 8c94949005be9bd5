// Peak memory of the engine built as the product ships it, with 32-bit
// pointers and records: prints one line per benchmark document, its name, its
// size and the most bytes held while parsing it. The benchmark runs this probe
// and shows the figures beside its own 64-bit ones.
#include "documents.h"

#include <stdio.h>

int main()
{
    BenchCase cases[kBenchCases];
    MakeBenchCases(cases);
    for (const BenchCase &c : cases)
        printf("%s %llu %llu\n", c.name, (unsigned long long)c.text.size(),
               (unsigned long long)EnginePeak(c.text));
    return 0;
}
