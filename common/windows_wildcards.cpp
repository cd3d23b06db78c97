// Windows start-up: expand * and ? in command-line arguments into file names, as a POSIX shell
// does.
//
// The MinGW-w64 runtime reads this variable before main: a non-zero value makes
// its start-up code glob every unquoted argument that holds a wildcard, so that
// `blocksum ROM*.bin` at a Windows prompt names the first matching file. The
// file is linked only into Windows builds; the programs themselves never look
// at the platform.
extern "C" {
extern int _dowildcard;
int _dowildcard = -1;
}
