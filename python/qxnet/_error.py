"""The exception a failed call into an object raises."""


class Error(Exception):
    """A failed call: the object's result code and error record.

    hresult     the result code as an unsigned 32-bit int (0x80004005)
    description the error record's text (also str(error))
    source      the error record's source, usually the object's ProgID
    argerror    the zero-based position of the offending argument, or None
    """

    def __init__(self, description="", hresult=0x80004005, source="", argerror=None):
        super().__init__(description, hresult, source, argerror)
        self.description = description
        self.hresult = hresult
        self.source = source
        self.argerror = argerror

    def __str__(self):
        return self.description

    def __repr__(self):
        return "qxnet.Error(%r, hresult=0x%08X, source=%r, argerror=%r)" % (
            self.description, self.hresult, self.source, self.argerror)
