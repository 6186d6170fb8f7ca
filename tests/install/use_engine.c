/* A program built against the installed engine, as its users build theirs: it
 * asks for the template of a blank image, which the engine must refuse for
 * holding no print. Exits 0 when the engine answered so. */
#include <stdio.h>
#include <zarn_engine.h>

int main(void) {
    static uint8_t blank[100 * 100];
    uint32_t size = 0;
    if (VX_InitZARN() != ZARN_OK) {
        return 1;
    }
    const int32_t status = VX_Enroll(blank, 100, 100, NULL, &size);
    printf("a blank image: status %d\n", (int)status);
    return VX_UninitZARN() == ZARN_OK && status == ZARN_E_NO_FOREGROUND ? 0 : 1;
}
