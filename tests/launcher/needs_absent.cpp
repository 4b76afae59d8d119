// Needs mwabsent.dll, which is not beside it: Wine's loader refuses to start it.
extern "C" __declspec(dllimport) int MarlowickAbsent();

int main() {
    return MarlowickAbsent();
}
