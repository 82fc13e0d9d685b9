// Keeps the app library non-empty until its classes land.
namespace app {
int Placeholder() { return 0; }
}
