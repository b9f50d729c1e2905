// A program that imports d2d1.dll the old way, at load time: the control that
// shows the canary test sees a DLL planted beside a program that imports it so.
extern "C" __declspec(dllimport) int KelmCanaryProbe();

int main()
{
    return KelmCanaryProbe() == 1 ? 0 : 1;
}
