/*
 * tarvex_seh_call(operation, context)
 *
 * Runs operation(context) inside a structured exception frame and answers 1
 * when a structured exception (an access violation, say) was raised in it
 * and caught, 0 when the operation returned normally. The frame catches
 * every exception, so the caller's own state must not depend on how far the
 * operation got.
 *
 * Why this is a file of its own, in C: the 64-bit plug-in is built with
 * mingw-w64, whose C++ `catch (...)` sees C++ exceptions only, and whose
 * compiler has no working __try/__except of its own. clang, compiled for the
 * MSVC ABI, emits a real __try/__except frame (unwind data and a scope table
 * for the C runtime's __C_specific_handler, which msvcrt.dll provides) that
 * links into the mingw image as it is. The object holds nothing but this one
 * frame: no C runtime call, no library defaults, no globals. The handlers
 * that decide what a caught exception means stay in mom_extend.cpp.
 */

typedef void (*tarvex_guarded_fn)(void *context);

int tarvex_seh_call(tarvex_guarded_fn operation, void *context)
{
    __try {
        operation(context);
    } __except (1 /* EXCEPTION_EXECUTE_HANDLER */) {
        return 1;
    }
    return 0;
}
