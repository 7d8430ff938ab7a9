; Tervox Adam boot ROM (first cut).
        org 0
        di
        halt
        org 7FFFh
        db 0FFh
