/* Imports the planted DLL's function statically from "netapi32.dll": run from
 * a folder where the planted DLL lies under that name, it shows that a static
 * import there is taken from the folder (the marker is written). */
int VelqorPlanted(void);

int main(void) { return VelqorPlanted() == 42 ? 0 : 1; }
