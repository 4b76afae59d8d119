// A library that its program never finds.
extern "C" __declspec(dllexport) int MarlowickAbsent() {
    return 1;
}
